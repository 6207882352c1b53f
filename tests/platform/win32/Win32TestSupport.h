#pragma once

#include <windows.h>
#undef Yield

#include <chrono>
#include <functional>
#include <string>

#include "platform/IEventLoop.h"
#include "support/QueuedLoop.h"

namespace velmora::platform::win32::test {

// Dispatches the test thread's messages: our own windows (the clipboard owner, the shortcut's
// window, test windows) live on it.
inline void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

// Checks done() every few milliseconds for at most timeoutMs, dispatching in between.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        Pump();
        if (done()) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    Pump();
    return done();
}

inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

// The message loop of a Win32 program, as the backends see it: messages, and the timers and
// posted calls of the jobs that suspend on it.
class PumpLoop : public QueuedLoop {
  public:
    void Yield() override {
        Pump();
        RunQueued();
    }
    void Wait(int ms) override {
        waitedMs += ms;
        WaitUntil([] { return false; }, ms);
    }
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override {
        return PumpUntil(
            [&] {
                RunQueued();
                return done();
            },
            timeoutMs);
    }
    void Wake() override { ++wakes; }
    int waitedMs = 0;
    int wakes = 0;
};

// A build path as Wine's programs see it: a Unix path lies on drive Z:.
inline std::wstring WindowsPath(const std::string& path) {
    std::wstring out = path.rfind('/', 0) == 0 ? L"Z:" : L"";
    for (char c : path) out += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return out;
}

// A process started with a command line; ended (killed if need be) when the object goes.
class Process {
  public:
    explicit Process(std::wstring commandLine) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &si, &pi_) != 0;
    }
    ~Process() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(pi_.hProcess, 1);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    bool started() const { return started_; }
    bool Exited(int waitMs) const {
        return started_ &&
               WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(waitMs)) == WAIT_OBJECT_0;
    }
    void Kill() {
        if (started_) TerminateProcess(pi_.hProcess, 1);
        Exited(5000);
    }

  private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

// Runs action once, ms from now, from this thread's message loop (a modal window's included):
// one pending action at a time.
inline std::function<void()>& PendingAction() {
    static std::function<void()> action;
    return action;
}
inline void After(UINT ms, std::function<void()> action) {
    PendingAction() = std::move(action);
    SetTimer(nullptr, 0, ms, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        if (auto action = std::move(PendingAction())) action();
    });
}

}  // namespace velmora::platform::win32::test
