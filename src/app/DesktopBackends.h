#pragma once

#include <QPoint>
#include <QRect>
#include <memory>
#include <optional>
#include <string>

#include "platform/IAccessibility.h"
#include "platform/IClipboard.h"
#include "platform/IEventLoop.h"
#include "platform/IInput.h"
#include "platform/IWindows.h"
#include "platform/SessionKind.h"
#include "platform/wayland/PortalRemoteDesktop.h"

class QWidget;

namespace velmora::app {

// The backends that reach other programs' windows: the part that differs between an X11 session
// and each Wayland desktop. What they share (a display connection, sway's IPC) is owned here
// too and outlives them.
struct DesktopBackends {
    std::shared_ptr<void> connection;  // first: destroyed last
    std::unique_ptr<platform::IClipboard> clipboard;
    std::unique_ptr<platform::IScreen> screen;
    std::unique_ptr<platform::IInput> input;
    std::unique_ptr<platform::IWindows> windows;
    std::unique_ptr<platform::IAccessibility> accessibility;
    // For the log: which backends these are.
    std::string description;
};

// The backends for the session: sway's own on sway (its IPC, a virtual keyboard and pointer,
// data-control, screencopy); KWin's own on KDE Plasma (its scripts, its fake input,
// data-control, its ScreenShot2), which need the installed desktop entry; on GNOME the desktop
// portal's (its remote-desktop session, whose dialog the user answers during this call, and its
// screen stream) with wl-copy and wl-paste; X11 elsewhere and where those cannot start, where on
// a Wayland desktop that reaches only the
// programs that run under XWayland. Throws std::exception when none can start.
DesktopBackends ChooseDesktopBackends(
    const platform::SessionChoice& session, platform::IEventLoop& loop,
    const platform::wayland::PortalRemoteDesktop::Options& portal = {});

// A patch of `window` (its coordinates) as the toolkit draws it now, and `click` inside it;
// nullopt while the window is hidden or minimised, drawn at a scale other than 1 (the screen's
// picture would not show these pixels), or when `click` is not in the patch.
std::optional<platform::OwnView> OwnViewOf(QWidget& window, const QRect& patch,
                                           const QPoint& click);

}  // namespace velmora::app
