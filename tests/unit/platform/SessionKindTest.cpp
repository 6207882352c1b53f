#include "platform/SessionKind.h"

#include <gtest/gtest.h>

namespace velmora::platform {
namespace {

// Fields in SessionEnv's order: XDG_SESSION_TYPE, XDG_CURRENT_DESKTOP, WAYLAND_DISPLAY, DISPLAY,
// SWAYSOCK.
struct Case {
    const char* name;
    SessionEnv env;
    SessionKind kind;
    const char* description;
};

TEST(SessionKind, ChoosesTheBackendFamilyFromTheEnvironment) {
    const Case cases[] = {
        {"plain X11 session",
         {"x11", "XFCE", "", ":0", ""},
         SessionKind::X11,
         "backends: X11, because XDG_SESSION_TYPE=x11"},
        {"X11 session with a stray Wayland socket name",
         {"x11", "", "wayland-0", ":0", ""},
         SessionKind::X11,
         "backends: X11, because XDG_SESSION_TYPE=x11"},
        {"Wayland session whose WAYLAND_DISPLAY was dropped (sudo, ssh -X)",
         {"wayland", "GNOME", "", ":1", ""},
         SessionKind::X11,
         "backends: X11, because WAYLAND_DISPLAY is unset and DISPLAY=:1"},
        {"nothing set at all",
         {"", "", "", "", ""},
         SessionKind::X11,
         "backends: X11, because neither WAYLAND_DISPLAY nor DISPLAY is set (X11 is the "
         "default)"},
        {"sway started from a console (logind says tty)",
         {"tty", "", "wayland-1", "", "/run/user/1/s.sock"},
         SessionKind::Sway,
         "backends: Wayland/sway, because WAYLAND_DISPLAY=wayland-1 and SWAYSOCK is set"},
        {"sway named by the desktop alone",
         {"wayland", "sway", "wayland-1", "", ""},
         SessionKind::Sway,
         "backends: Wayland/sway, because WAYLAND_DISPLAY=wayland-1 and XDG_CURRENT_DESKTOP=sway"},
        {"KDE Plasma",
         {"wayland", "KDE", "wayland-0", ":1", ""},
         SessionKind::Kde,
         "backends: Wayland/KDE, because WAYLAND_DISPLAY=wayland-0 and XDG_CURRENT_DESKTOP=KDE"},
        {"GNOME behind a distribution's prefix",
         {"wayland", "ubuntu:GNOME", "wayland-0", ":0", ""},
         SessionKind::Gnome,
         "backends: Wayland/GNOME, because WAYLAND_DISPLAY=wayland-0 and "
         "XDG_CURRENT_DESKTOP=ubuntu:GNOME"},
        {"desktop names compared without case",
         {"", "gnome", "wayland-0", "", ""},
         SessionKind::Gnome,
         "backends: Wayland/GNOME, because WAYLAND_DISPLAY=wayland-0 and "
         "XDG_CURRENT_DESKTOP=gnome"},
        {"unknown compositor",
         {"wayland", "Hyprland", "wayland-1", "", ""},
         SessionKind::OtherWayland,
         "backends: Wayland/other, because WAYLAND_DISPLAY=wayland-1 and "
         "XDG_CURRENT_DESKTOP=Hyprland"},
        {"Wayland with no desktop named",
         {"", "", "wayland-0", "", ""},
         SessionKind::OtherWayland,
         "backends: Wayland/other, because WAYLAND_DISPLAY=wayland-0 and XDG_CURRENT_DESKTOP is "
         "unset"},
        {"a name that only contains a known one is not it",
         {"", "NotKDE:swayish", "wayland-0", "", ""},
         SessionKind::OtherWayland,
         "backends: Wayland/other, because WAYLAND_DISPLAY=wayland-0 and "
         "XDG_CURRENT_DESKTOP=NotKDE:swayish"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SessionChoice choice = ChooseSession(c.env);
        EXPECT_EQ(choice.kind, c.kind);
        EXPECT_EQ(choice.description, c.description);
    }
}

}  // namespace
}  // namespace velmora::platform
