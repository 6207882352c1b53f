#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <functional>

namespace velmora::app::win32 {

// A repeating timer on the thread's message loop that calls a function, for owners without a
// window of their own.
class CallbackTimer {
  public:
    CallbackTimer(UINT intervalMs, std::function<void()> onTick);
    ~CallbackTimer();
    CallbackTimer(const CallbackTimer&) = delete;
    CallbackTimer& operator=(const CallbackTimer&) = delete;

    void Start();
    void Stop();
    bool Active() const { return active_; }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND window_ = nullptr;
    UINT intervalMs_;
    std::function<void()> onTick_;
    bool active_ = false;
};

}  // namespace velmora::app::win32
