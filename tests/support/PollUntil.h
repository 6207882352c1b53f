#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Checks done() every stepMs until it holds or timeoutMs passed; returns its last value. For
// tests that wait on another process, with no event loop of their own to keep alive.
inline bool PollUntil(const std::function<bool()>& done, int timeoutMs = 5000, int stepMs = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return done();
}
