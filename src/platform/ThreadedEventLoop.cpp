#include "platform/ThreadedEventLoop.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace velmora::platform {

void ThreadedEventLoop::RunAside(std::function<void()> work, std::function<void()> done) {
    aside_.Run(*this, std::move(work), std::move(done));
}

void ThreadedEventLoop::StopAside() {
    RequestCancel();
    aside_.JoinAll();
}

void ThreadedEventLoop::Yield() {
    if (OnLoopThread()) DispatchFor(0);
}

void ThreadedEventLoop::Wait(int ms) {
    if (OnLoopThread())
        DispatchFor(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 0)));
}

bool ThreadedEventLoop::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    if (OnLoopThread()) return DispatchUntil(done, timeoutMs);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return true;
}

}  // namespace velmora::platform
