#pragma once

#include <windows.h>
// <winbase.h> defines Yield() away as an obsolete no-op; here it is the port's call.
#undef Yield

#include <cstdint>
#include <map>

#include "platform/LoopQueue.h"
#include "platform/ThreadedEventLoop.h"

namespace velmora::platform::win32 {

// The user-interface thread's Win32 message loop. Waits sleep in MsgWaitForMultipleObjectsEx
// and dispatch every message that arrives, so our windows and the clipboard we serve stay alive.
// A WM_QUIT met inside a wait is kept and posted again when the outermost wait returns, so the
// program's own message loop still sees it.
class Win32EventLoop : public ThreadedEventLoop {
  public:
    Win32EventLoop();
    ~Win32EventLoop() override;
    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    void Post(std::function<void()> fn) override;
    void After(int ms, std::function<void()> fn) override;
    // Safe from any thread: sets the event the waits also sleep on.
    void Wake() override;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void DispatchFor(int ms) override;
    bool DispatchUntil(const std::function<bool()>& done, int timeoutMs) override;
    void RunPosted();
    void DispatchPending();
    void Leave();  // end of a wait: re-post a WM_QUIT seen when this was the outermost one

    HANDLE wake_;  // manual-reset
    HWND window_;  // message-only: posted calls and timers arrive here
    LoopQueue posted_;
    std::map<UINT_PTR, std::function<void()>> timers_;
    UINT_PTR nextTimer_ = 1;
    int depth_ = 0;
    bool quitSeen_ = false;
    int quitCode_ = 0;
};

}  // namespace velmora::platform::win32
