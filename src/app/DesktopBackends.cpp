#include "app/DesktopBackends.h"

#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "platform/SystemScreen.h"
#include "platform/qt/QtClipboard.h"
#include "platform/wayland/DataControlClipboard.h"
#include "platform/wayland/KwinFakeInput.h"
#include "platform/wayland/KwinScreen.h"
#include "platform/wayland/KwinScripting.h"
#include "platform/wayland/KwinWindows.h"
#include "platform/wayland/PortalInput.h"
#include "platform/wayland/PortalRemoteDesktop.h"
#include "platform/wayland/ScreenCast.h"
#include "platform/wayland/ScreenCastScreen.h"
#include "platform/wayland/ScreenCastWindows.h"
#include "platform/wayland/ScreencopyScreen.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/SwayWindows.h"
#include "platform/wayland/VirtualInput.h"
#include "platform/wayland/WaylandGlobals.h"
#include "platform/wayland/WlClipboard.h"
// Xlib's macros (None, Bool, ...) clash with Qt's names: X11 headers come last.
#include <X11/Xlib.h>

#include "platform/atspi/AtspiAccessibility.h"
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XTestInput.h"

namespace velmora::app {

namespace {

bool AccessibilityOff() {
    const char* v = std::getenv("VELMORA_ACCESSIBILITY");
    return v && std::string_view(v) == "off";
}

DesktopBackends X11Backends(platform::IEventLoop& loop) {
    DesktopBackends d;
    auto display = std::make_shared<platform::x11::XDisplay>();
    d.connection = display;
    d.clipboard = std::make_unique<platform::SystemClipboard>(loop);
    d.screen = std::make_unique<platform::SystemScreen>(*d.clipboard);
    d.input = std::make_unique<platform::SystemInput>(
        std::make_unique<platform::SystemInput::State>(*display));
    auto windows = std::make_unique<platform::x11::X11Windows>(*display, loop);
    // VELMORA_ACCESSIBILITY=off reads every history by keys and clipboard, as where no
    // accessibility tree exists (for a program whose tree misleads, and for comparison).
    if (AccessibilityOff())
        d.accessibility = std::make_unique<platform::NoAccessibility>();
    else
        d.accessibility = std::make_unique<platform::atspi::AtspiAccessibility>(*windows);
    d.windows = std::move(windows);
    d.description = "X11 (XTest, EWMH, the X clipboard)";
    return d;
}

// Sway's own way to everything: no X server needed, and X11 programs under XWayland are
// reached as well (the compositor delivers our input to them and keeps their clipboard in step).
// Accessibility stays off: on Wayland the tree's screen coordinates are not the screen's.
DesktopBackends SwayBackends(platform::IEventLoop& loop) {
    namespace wl = platform::wayland;
    const auto globals = wl::ListWaylandGlobals();
    if (!globals) throw std::runtime_error("no Wayland compositor answers");
    for (const char* needed : {"zwp_virtual_keyboard_manager_v1", "zwlr_virtual_pointer_manager_v1",
                               "zwlr_data_control_manager_v1", "zwlr_screencopy_manager_v1"})
        if (!wl::Offers(*globals, needed))
            throw std::runtime_error(std::string("the compositor does not offer ") + needed);
    const char* sock = std::getenv("SWAYSOCK");
    DesktopBackends d;
    auto ipc = std::make_shared<wl::SwayIpc>(sock ? sock : "");
    d.connection = ipc;
    auto clipboard = std::make_unique<wl::DataControlClipboard>(loop);
    if (!clipboard->Available())
        throw std::runtime_error("the data-control clipboard is not there");
    d.screen = std::make_unique<wl::ScreencopyScreen>(*clipboard);
    d.clipboard = std::move(clipboard);
    d.input = std::make_unique<wl::VirtualInput>();
    d.windows = std::make_unique<wl::SwayWindows>(*ipc, loop);
    d.accessibility = std::make_unique<platform::NoAccessibility>();
    d.description =
        "sway (its IPC for windows, a virtual keyboard and pointer, data-control, screencopy)";
    return d;
}

// KWin's own ways: its scripts for windows, its fake input (granted by the installed desktop
// entry), data-control for the clipboard and ScreenShot2 for the screen (granted by the same
// entry). X11 programs under XWayland are reached as well.
DesktopBackends KdeBackends(platform::IEventLoop& loop) {
    namespace wl = platform::wayland;
    const auto globals = wl::ListWaylandGlobals();
    if (!globals) throw std::runtime_error("no Wayland compositor answers");
    if (!wl::Offers(*globals, "zwlr_data_control_manager_v1"))
        throw std::runtime_error("the compositor does not offer zwlr_data_control_manager_v1");
    DesktopBackends d;
    auto scripting = std::make_shared<wl::KwinScripting>();
    d.connection = scripting;
    auto input = std::make_unique<wl::KwinFakeInput>();
    auto clipboard = std::make_unique<wl::DataControlClipboard>(loop);
    if (!clipboard->Available())
        throw std::runtime_error("the data-control clipboard is not there");
    auto screen = std::make_unique<wl::KwinScreen>(*clipboard, *scripting);
    if (!screen->Available())
        throw std::runtime_error(
            "KWin offers no ScreenShot2 (it does only while it composites with OpenGL)");
    d.screen = std::move(screen);
    d.clipboard = std::move(clipboard);
    d.input = std::move(input);
    d.windows = std::make_unique<wl::KwinWindows>(*scripting, loop);
    d.accessibility = std::make_unique<platform::NoAccessibility>();
    d.description =
        "KDE Plasma (KWin's scripts for windows, its fake input, data-control, its ScreenShot2)";
    return d;
}

// What the GNOME backends share: the portal's session and its screen stream.
struct GnomeSession {
    std::unique_ptr<platform::wayland::PortalRemoteDesktop> session;
    std::unique_ptr<platform::wayland::ScreenCast> cast;
};

// GNOME on Wayland offers no window list and no placing or activation to other programs: input
// and the screen go through the desktop portal's remote-desktop session (the user grants it in
// the portal's dialog at each start), windows are checked against the picked picture on the
// session's screen stream, the clipboard goes through wl-copy and wl-paste.
DesktopBackends GnomeBackends(platform::IEventLoop& loop,
                              const platform::wayland::PortalRemoteDesktop::Options& options) {
    namespace wl = platform::wayland;
    auto shared = std::make_shared<GnomeSession>();
    shared->session = std::make_unique<wl::PortalRemoteDesktop>(loop, options);
    if (!shared->session->Start()) throw std::runtime_error(shared->session->Reason());
    shared->cast = std::make_unique<wl::ScreenCast>(*shared->session, loop);
    if (!shared->cast->Available()) throw std::runtime_error(shared->cast->Reason());
    auto clipboard = std::make_unique<wl::WlClipboard>(loop);
    if (!clipboard->Available())
        throw std::runtime_error("wl-copy and wl-paste do not reach the compositor");
    DesktopBackends d;
    d.connection = shared;
    d.screen = std::make_unique<wl::ScreenCastScreen>(*clipboard, *shared->cast);
    d.clipboard = std::move(clipboard);
    auto input = std::make_unique<wl::PortalInput>(*shared->session);
    auto windows = std::make_unique<wl::ScreenCastWindows>(*shared->cast);
    // Both are owned by the bundle, the input first: it outlives the windows.
    windows->ClickOwnWindowThrough(*input, loop);
    d.input = std::move(input);
    d.windows = std::move(windows);
    // The tree names no window here, but it names the focused input box, which is all the
    // in-place run needs.
    if (AccessibilityOff())
        d.accessibility = std::make_unique<platform::NoAccessibility>();
    else
        d.accessibility = std::make_unique<platform::atspi::AtspiAccessibility>();
    d.description =
        "GNOME (the desktop portal's remote desktop for input, its screen stream for the "
        "picture, the checks of picked points and our own window's place, wl-copy and "
        "wl-paste, the accessibility tree for the in-place translation)";
    return d;
}

}  // namespace

std::optional<platform::OwnView> OwnViewOf(QWidget& window, const QRect& patch,
                                           const QPoint& click) {
    if (!window.isVisible() || window.isMinimized() || !patch.contains(click)) return std::nullopt;
    const QWindow* native = window.windowHandle();
    if (!native || native->devicePixelRatio() != 1.0) return std::nullopt;
    platform::OwnView view;
    view.patch = platform::qt::FromQImage(window.grab(patch).toImage());
    if (view.patch.width != patch.width() || view.patch.height != patch.height())
        return std::nullopt;
    view.click = {click.x() - patch.x(), click.y() - patch.y()};
    return view;
}

DesktopBackends ChooseDesktopBackends(
    const platform::SessionChoice& session, platform::IEventLoop& loop,
    const platform::wayland::PortalRemoteDesktop::Options& portal) {
    DesktopBackends chosen;
    bool own = false;  // the desktop's own backends, not X11's
    if (session.kind == platform::SessionKind::Sway) {
        try {
            chosen = SwayBackends(loop);
            own = true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora: sway's backends cannot start (%s); trying X11\n",
                         e.what());
        }
    } else if (session.kind == platform::SessionKind::Kde) {
        try {
            chosen = KdeBackends(loop);
            own = true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora: KDE Plasma's backends cannot start (%s); trying X11\n",
                         e.what());
        }
    } else if (session.kind == platform::SessionKind::Gnome) {
        try {
            chosen = GnomeBackends(loop, portal);
            own = true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora: GNOME's backends cannot start (%s); trying X11\n",
                         e.what());
        }
    }
    if (!own) chosen = X11Backends(loop);
    if (!own && session.kind != platform::SessionKind::X11)
        chosen.description += "; on this Wayland desktop only programs under XWayland";
    std::fprintf(stderr, "velmora: driving other programs through %s\n",
                 chosen.description.c_str());
    return chosen;
}

}  // namespace velmora::app
