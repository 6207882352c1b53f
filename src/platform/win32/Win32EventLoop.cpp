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

}  // namespace

Win32EventLoop::Win32EventLoop() : wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!wake_) throw std::runtime_error("CreateEvent failed");
}

Win32EventLoop::~Win32EventLoop() {
    CloseHandle(wake_);
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

void Win32EventLoop::Yield() {
    {
        Depth d(depth_);
        DispatchPending();
    }
    Leave();
}

void Win32EventLoop::Wait(int ms) {
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

bool Win32EventLoop::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
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
