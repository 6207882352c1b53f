#pragma once

#include <X11/Xlib.h>

#include <set>

#include "platform/IEventLoop.h"
#include "platform/IWindows.h"
#include "platform/x11/XDisplay.h"

namespace velmora::platform::x11 {

// Window operations on other programs' windows. The window of a point is the deepest mapped
// one (a control with a native window of its own yields that control); state changes act on
// the top-level client that holds it, the window that carries WM_STATE, because that is the
// window the window manager manages. Waits for the window manager go through the event loop,
// so the program's own windows stay responsive meanwhile.
class X11Windows : public IWindows {
  public:
    X11Windows(XDisplay& display, IEventLoop& loop);
    WinHandle WindowFromPoint(Point screen) override;
    std::optional<Rect> GetWindowRect(WinHandle w) override;
    std::optional<Point> ScreenToClient(WinHandle w, Point screen) override;
    Task<> SetTopmost(WinHandle w, bool topmost, Rect at) override;
    Task<> ShowWindow(WinHandle w, ShowCommand cmd) override;
    bool IsIconic(WinHandle w) override;
    Task<bool> SetForegroundWindow(WinHandle w) override;
    bool IsWindow(WinHandle w) override;
    void Watch(WinHandle w) override;
    bool IsInside(WinHandle w, WinHandle outer) override;
    bool IsOwnWindow(WinHandle w) override;
    int ShowCursor(bool show) override;
    WinHandle FocusedWindow() override;

    // The top-level client window holding w (w itself when it is one, or when none is found).
    Window TopLevelOf(Window w);
    // The process that owns the window's top-level window (_NET_WM_PID), when it says.
    std::optional<int> ProcessIdOf(Window w);

  private:
    bool Exists(Window w);
    Window ClientBelow(Window w, int depth);
    void MoveTo(Window top, int x, int y, int width, int height, bool resize);
    // Polls done() every few milliseconds for at most boundMs, dispatching events in between.
    XDisplay& d_;
    IEventLoop& loop_;
    int cursorCount_ = 0;
    // Picked windows watched for their destruction, and those seen destroyed.
    std::set<Window> watched_, destroyed_;
};

}  // namespace velmora::platform::x11
