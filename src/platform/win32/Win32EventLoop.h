#pragma once

#include <windows.h>
// <winbase.h> defines Yield() away as an obsolete no-op; here it is the port's call.
#undef Yield

#include "platform/IEventLoop.h"

namespace velmora::platform::win32 {

// The user-interface thread's Win32 message loop. Waits sleep in MsgWaitForMultipleObjectsEx
// and dispatch every message that arrives, so our windows and the clipboard we serve stay alive.
// A WM_QUIT met inside a wait is kept and posted again when the outermost wait returns, so the
// program's own message loop still sees it.
class Win32EventLoop : public IEventLoop {
  public:
    Win32EventLoop();
    ~Win32EventLoop() override;
    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    void Yield() override;
    void Wait(int ms) override;
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override;
    // Safe from any thread: sets the event the waits also sleep on.
    void Wake() override;

  private:
    void DispatchPending();
    void Leave();  // end of a wait: re-post a WM_QUIT seen when this was the outermost one

    HANDLE wake_;  // manual-reset
    int depth_ = 0;
    bool quitSeen_ = false;
    int quitCode_ = 0;
};

}  // namespace velmora::platform::win32
