#include "platform/SessionKind.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

namespace velmora::platform {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// XDG_CURRENT_DESKTOP lists names from the most to the least specific ("ubuntu:GNOME"); the
// first one we know decides.
SessionKind DesktopKind(std::string_view desktops) {
    const std::string all = Lower(desktops);
    std::string_view rest = all;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view name = rest.substr(0, colon);
        if (name == "sway" || name == "wlroots") return SessionKind::Sway;
        if (name == "kde") return SessionKind::Kde;
        if (name == "gnome" || name == "gnome-classic" || name == "gnome-flashback")
            return SessionKind::Gnome;
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return SessionKind::OtherWayland;
}

const char* FamilyName(SessionKind kind) {
    switch (kind) {
        case SessionKind::X11:
            return "X11";
        case SessionKind::Sway:
            return "Wayland/sway";
        case SessionKind::Kde:
            return "Wayland/KDE";
        case SessionKind::Gnome:
            return "Wayland/GNOME";
        case SessionKind::OtherWayland:
            break;
    }
    return "Wayland/other";
}

SessionChoice Choice(SessionKind kind, const std::string& reason) {
    return {kind, std::string("backends: ") + FamilyName(kind) + ", because " + reason};
}

std::string Var(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

}  // namespace

SessionChoice ChooseSession(const SessionEnv& env) {
    // A program of an X11 session talks to the X server even when some Wayland compositor
    // (a nested one, say) has left its socket name behind.
    if (Lower(env.sessionType) == "x11") return Choice(SessionKind::X11, "XDG_SESSION_TYPE=x11");
    if (env.waylandDisplay.empty()) {
        if (env.display.empty())
            return Choice(SessionKind::X11,
                          "neither WAYLAND_DISPLAY nor DISPLAY is set (X11 is the default)");
        return Choice(SessionKind::X11, "WAYLAND_DISPLAY is unset and DISPLAY=" + env.display);
    }
    const std::string wayland = "WAYLAND_DISPLAY=" + env.waylandDisplay;
    // Only sway's IPC answers on SWAYSOCK, whatever the desktop calls itself.
    if (!env.swaySock.empty()) return Choice(SessionKind::Sway, wayland + " and SWAYSOCK is set");
    const SessionKind kind = DesktopKind(env.currentDesktop);
    if (env.currentDesktop.empty())
        return Choice(kind, wayland + " and XDG_CURRENT_DESKTOP is unset");
    return Choice(kind, wayland + " and XDG_CURRENT_DESKTOP=" + env.currentDesktop);
}

SessionEnv SessionEnvFromProcess() {
    return SessionEnv{.sessionType = Var("XDG_SESSION_TYPE"),
                      .currentDesktop = Var("XDG_CURRENT_DESKTOP"),
                      .waylandDisplay = Var("WAYLAND_DISPLAY"),
                      .display = Var("DISPLAY"),
                      .swaySock = Var("SWAYSOCK")};
}

}  // namespace velmora::platform
