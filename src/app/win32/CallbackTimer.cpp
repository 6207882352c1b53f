#include "app/win32/CallbackTimer.h"

#include "app/win32/Win32Ui.h"

namespace velmora::app::win32 {

CallbackTimer::CallbackTimer(UINT intervalMs, std::function<void()> onTick)
    : intervalMs_(intervalMs), onTick_(std::move(onTick)) {
    const wchar_t* cls = RegisterClassOnce(L"VelmoraTimer", Proc);
    window_ = CreateWindowExW(0, cls, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), this);
}

CallbackTimer::~CallbackTimer() {
    if (window_) {
        Stop();
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void CallbackTimer::Start() {
    if (window_) active_ = SetTimer(window_, 1, intervalMs_, nullptr) != 0;
}

void CallbackTimer::Stop() {
    if (window_) KillTimer(window_, 1);
    active_ = false;
}

LRESULT CALLBACK CallbackTimer::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = Self<CallbackTimer>(hwnd, msg, lp);
    if (self && msg == WM_TIMER) {
        if (self->onTick_) self->onTick_();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace velmora::app::win32
