#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/IEventLoop.h"
#include "platform/IWindows.h"
#include "platform/wayland/SwayIpc.h"

namespace velmora::platform::wayland {

// Window operations under sway, through its IPC. A handle is a sway container id: Wayland has
// no child windows, so every handle names a whole program window, and each call reads the tree
// afresh (sway changes it with no event of ours).
//
// What sway cannot do: it has no minimised state (IsIconic is always false and Minimize does
// nothing: moving a window to the scratchpad would hide it where its user may not look), and
// no "always on top" among tiled windows; a floating window always lies above tiled ones, so
// SetTopmost floats the window at the rectangle and undoes only a float it made itself.
class SwayWindows : public IWindows {
  public:
    SwayWindows(SwayIpc& ipc, IEventLoop& loop);
    bool IsWindow(WinHandle w) override;
    void Watch(WinHandle w) override;
    bool IsInside(WinHandle w, WinHandle outer) override;
    bool IsOwnWindow(WinHandle w) override;
    WinHandle WindowFromPoint(Point screen) override;
    std::optional<Rect> GetWindowRect(WinHandle w) override;
    std::optional<Point> ScreenToClient(WinHandle w, Point screen) override;
    Task<> SetTopmost(WinHandle w, bool topmost, Rect at) override;
    Task<> ShowWindow(WinHandle w, ShowCommand cmd) override;
    bool IsIconic(WinHandle w) override;
    Task<bool> SetForegroundWindow(WinHandle w) override;
    WinHandle FocusedWindow() override;
    int ShowCursor(bool show) override;

  private:
    std::optional<SwayWindow> Find(WinHandle w);
    bool Run(WinHandle w, const std::string& command);

    SwayIpc& ipc_;
    IEventLoop& loop_;
    int cursorCount_ = 0;
    // What a watched window was when picked: an id that later names another program's window
    // is not the picked one.
    struct Identity {
        int pid = 0;
        std::string appId;
    };
    std::map<WinHandle, Identity> watched_;
    // Windows SetTopmost floated, so that clearing topmost tiles them again.
    std::set<WinHandle> floatedByUs_;
};

}  // namespace velmora::platform::wayland
