#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/IEventLoop.h"
#include "platform/IWindows.h"
#include "platform/wayland/KwinScripting.h"
#include "platform/wayland/KwinWindowList.h"

namespace velmora::platform::wayland {

// Window operations under KDE Plasma's compositor (KWin), through scripts it runs for us. A
// handle is a small number of ours for one of KWin's windows (KWin names them by UUID): a
// window keeps its handle while it lives, and a closed window's handle never names another.
// Every call reads the window list afresh; a call KWin does not answer in time finds nothing.
//
// GetWindowRect is the program's own surface (without KWin's decoration), the rectangle the
// program's own coordinates start from; WindowFromPoint hits the whole frame.
class KwinWindows : public IWindows {
  public:
    KwinWindows(KwinScripting& scripting, IEventLoop& loop);
    bool IsWindow(WinHandle w) override;
    void Watch(WinHandle w) override;
    bool IsInside(WinHandle w, WinHandle outer) override;
    bool IsOwnWindow(WinHandle w) override;
    WinHandle WindowFromPoint(Point screen) override;
    std::optional<Rect> GetWindowRect(WinHandle w) override;
    std::optional<Point> ScreenToClient(WinHandle w, Point screen) override;
    // Keep-above, and moved so its surface's corner is the rectangle's (at its own size);
    // clearing it lowers only a window this object raised.
    Task<> SetTopmost(WinHandle w, bool topmost, Rect at) override;
    Task<> ShowWindow(WinHandle w, ShowCommand cmd) override;
    bool IsIconic(WinHandle w) override;
    Task<bool> SetForegroundWindow(WinHandle w) override;
    WinHandle FocusedWindow() override;
    int ShowCursor(bool show) override;
    // Our window of that title: Qt's id for a Wayland window is no KWin name.
    WinHandle OwnTopLevel(WinHandle nativeId, const std::string& title) override;

  private:
    std::optional<KwinSnapshot> List();
    WinHandle HandleOf(const std::string& id);
    std::optional<KwinWindow> Find(WinHandle w);
    // Runs an action on the window with KWin's id: `action` is JavaScript acting on `c`.
    bool Act(WinHandle w, const std::string& action);

    KwinScripting& scripting_;
    IEventLoop& loop_;
    int cursorCount_ = 0;
    std::map<std::string, WinHandle> handles_;
    std::map<WinHandle, std::string> ids_;
    WinHandle next_ = 1;
    std::set<WinHandle> raised_;
};

}  // namespace velmora::platform::wayland
