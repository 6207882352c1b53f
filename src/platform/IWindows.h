#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/Async.h"
#include "platform/Types.h"

namespace velmora::platform {

enum class ShowCommand { ShowNormal = 1, Minimize = 6, Restore = 9 };

// A patch of our own window as the toolkit draws it (scale 1), and the point in it to click.
struct OwnView {
    Bitmap patch;
    Point click;
};

// Our main window as the toolkit sees it: a patch of it and the point to click (nullopt while it
// is not shown), and whether it is the active window.
struct OwnWindowLook {
    std::function<std::optional<OwnView>()> view;
    std::function<bool()> active;
};

// Operations on other programs' windows. Fire-and-forget: a handle that is 0 or no longer
// exists makes the call do nothing (and never crashes the program). The three that wait for the
// window manager (placing, showing, activating) suspend on the event loop until the change is
// seen or a bound passed: nothing of ours runs inside them, and other handlers run meanwhile.
class IWindows {
  public:
    virtual ~IWindows() = default;
    // Whether the handle still names a window (IsWindow). For a watched window: the same window,
    // so false once it was destroyed, even when a new window has been given its id.
    virtual bool IsWindow(WinHandle w) = 0;
    // Watches a picked window for its destruction (a window picked anew is watched anew).
    virtual void Watch(WinHandle w) = 0;
    // Whether w is the window `outer` or lies inside it (IsChild, or equal).
    virtual bool IsInside(WinHandle w, WinHandle outer) = 0;
    // Whether the window, or the top-level window it lies in, belongs to this process.
    virtual bool IsOwnWindow(WinHandle w) = 0;
    // The deepest window at a screen point, as the point's owner sees it.
    virtual WinHandle WindowFromPoint(Point screen) = 0;
    virtual std::optional<Rect> GetWindowRect(WinHandle w) = 0;
    virtual std::optional<Point> ScreenToClient(WinHandle w, Point screen) = 0;
    // SetWindowPos with HWND_TOPMOST / HWND_NOTOPMOST at a rectangle.
    virtual Task<> SetTopmost(WinHandle w, bool topmost, Rect at) = 0;
    virtual Task<> ShowWindow(WinHandle w, ShowCommand cmd) = 0;
    virtual bool IsIconic(WinHandle w) = 0;
    // Asks for the window to become the active one; true once it is (bounded wait), false when
    // the window is gone or the window manager did not activate it.
    virtual Task<bool> SetForegroundWindow(WinHandle w) = 0;
    // The top-level window that has the keyboard focus (the active window); 0 when none.
    virtual WinHandle FocusedWindow() = 0;
    // Cursor display counter; returns the new count.
    virtual int ShowCursor(bool show) = 0;
    // The handle this interface knows one of our own top-level windows by, from the toolkit's
    // native id and the window's title (UTF-8): that id where the two are the same (X11,
    // Windows); where the compositor names windows its own way (Wayland), its name for our
    // window of that title, or 0.
    virtual WinHandle OwnTopLevel(WinHandle nativeId, const std::string& title) {
        (void)title;
        return nativeId;
    }
    // How our main window looks, for a backend that can activate it only by clicking it where
    // the screen shows it (GNOME on Wayland); an empty look once the window goes. Others know
    // our window from the window system and ignore this.
    virtual void DescribeOwnWindow(OwnWindowLook look) { (void)look; }
};

}  // namespace velmora::platform
