#include "platform/win32/Win32EventLoop.h"

#include <algorithm>

#include <stdexcept>

namespace velmora::platform::win32 {

namespace {

// Keeps the nesting depth right on every way out of a wait, exceptions from done() included.
class Depth {
  public:
    explicit Depth(int& d) : d_(d) { ++d_; }
    ~Depth() { --d_; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

  private:
    int& d_;
};

constexpr UINT kRunPosted = WM_APP + 1;
constexpr wchar_t kClass[] = L"VelmoraEventLoop";

}  // namespace

Win32EventLoop::Win32EventLoop() : wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!wake_) throw std::runtime_error("CreateEvent failed");
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Win32EventLoop::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);  // fails harmlessly when a second loop registers it again
    window_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                              nullptr);
    if (!window_) {
        CloseHandle(wake_);
        throw std::runtime_error("cannot create the event loop's window");
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32EventLoop::~Win32EventLoop() {
    StopAside();
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    CloseHandle(wake_);
}

LRESULT CALLBACK Win32EventLoop::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == kRunPosted) {
        self->RunPosted();
        return 0;
    }
    if (self && msg == WM_TIMER) {
        KillTimer(hwnd, wp);
        auto it = self->timers_.find(wp);
        if (it != self->timers_.end()) {
            auto fn = std::move(it->second);
            self->timers_.erase(it);
            fn();
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Win32EventLoop::Post(std::function<void()> fn) {
    posted_.Post(std::move(fn));
    PostMessageW(window_, kRunPosted, 0, 0);
}

void Win32EventLoop::RunPosted() {
    // One entry per message: each Post sent one.
    posted_.RunOne(0);
}

void Win32EventLoop::After(int ms, std::function<void()> fn) {
    const UINT_PTR id = nextTimer_++;
    timers_.emplace(id, std::move(fn));
    // USER_TIMER_MINIMUM (10 ms) is the floor the system sets anyway.
    SetTimer(window_, id, static_cast<UINT>(ms > 0 ? ms : 0), nullptr);
}

void Win32EventLoop::DispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Taken off the queue for now; handing it back at once would make every later
            // peek see it again.
            quitSeen_ = true;
            quitCode_ = static_cast<int>(msg.wParam);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Win32EventLoop::Leave() {
    if (depth_ == 0 && quitSeen_) {
        quitSeen_ = false;
        PostQuitMessage(quitCode_);
    }
}

void Win32EventLoop::DispatchFor(int ms) {
    {
        Depth d(depth_);
        const ULONGLONG end = GetTickCount64() + (ms > 0 ? static_cast<ULONGLONG>(ms) : 0);
        for (;;) {
            DispatchPending();
            const ULONGLONG now = GetTickCount64();
            if (now >= end) break;
            MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE);
        }
    }
    Leave();
}

bool Win32EventLoop::DispatchUntil(const std::function<bool()>& done, int timeoutMs) {
    bool result = false;
    {
        Depth d(depth_);
        const ULONGLONG end =
            GetTickCount64() + (timeoutMs > 0 ? static_cast<ULONGLONG>(timeoutMs) : 0);
        DispatchPending();
        for (;;) {
            // A Wake() from before this check is answered by this very check.
            ResetEvent(wake_);
            if ((result = done())) break;
            const ULONGLONG now = GetTickCount64();
            if (now >= end) break;
            MsgWaitForMultipleObjectsEx(1, &wake_,
                                        static_cast<DWORD>(std::min<ULONGLONG>(end - now, kPollMs)),
                                        QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            DispatchPending();
        }
    }
    Leave();
    return result;
}

void Win32EventLoop::Wake() {
    SetEvent(wake_);
}

}  // namespace velmora::platform::win32
