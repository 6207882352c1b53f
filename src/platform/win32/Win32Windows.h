#pragma once

#include <windows.h>
// winbase.h names a Win16 call Yield, a macro that would eat IEventLoop::Yield.
#undef Yield

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/IEventLoop.h"
#include "platform/IWindows.h"

namespace velmora::platform::win32 {

// Window handles keep only 32 significant bits (so 32- and 64-bit programs can share them) and
// are sign-extended: the logic's WinHandle carries them whole.
inline HWND ToHwnd(WinHandle w) {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(w));
}
inline WinHandle ToHandle(HWND h) {
    return static_cast<WinHandle>(reinterpret_cast<std::intptr_t>(h));
}

// Window operations on other programs' windows. State changes (topmost, show, activate) act on
// the top-level window that holds the given one. Waits go through the event loop, so the
// program's own windows keep answering meanwhile.
class Win32Windows : public IWindows {
  public:
    explicit Win32Windows(IEventLoop& loop) : loop_(loop) {}
    // For a watched handle: also the same process and window class as when it was watched, so a
    // handle the system gave to a new window after the picked one closed is not taken for it.
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
    // Checks done() every few milliseconds for at most boundMs, dispatching in between.
    // Whether the window is at (x, y), and of the size where one is given (> 0), once the move
    // has settled.
    Task<bool> WaitForPlace(HWND top, int x, int y, int width, int height);
    struct Identity {
        DWORD process = 0;
        std::wstring windowClass;
        bool operator==(const Identity&) const = default;
    };
    static std::optional<Identity> IdentityOf(HWND h);
    IEventLoop& loop_;
    std::map<WinHandle, Identity> watched_;
};

}  // namespace velmora::platform::win32
