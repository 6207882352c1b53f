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
// no "always on top": floating windows lie above tiled ones, the focused floating one above the
// others. SetTopmost leaves a tiled window in the user's layout (floating it would rearrange
// the workspace); where a floating window covers its points, the callers' checks of the point
// refuse to type there. A floating window is moved back to the rectangle's corner (at the
// size it has); the focus that follows raises it.
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
    // Our window of that title in sway's tree: Qt's id for a Wayland window is no sway id.
    WinHandle OwnTopLevel(WinHandle nativeId, const std::string& title) override;

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
};

}  // namespace velmora::platform::wayland
