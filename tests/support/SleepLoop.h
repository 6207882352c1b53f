#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "support/QueuedLoop.h"

// The event loop of a test that runs no toolkit: waiting is sleeping, in short slices so a
// condition is seen soon. It counts what it was asked for, so a test can see that a backend
// waits through the loop.
class SleepLoop : public QueuedLoop {
  public:
    void Yield() override {
        ++yields;
        Turn();
    }
    void Wait(int ms) override {
        waitedMs += ms;
        Turn();
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 5)));
            RunQueued();
        }
    }
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done() && std::chrono::steady_clock::now() < end) {
            Turn();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
    // What the program's other handlers do when the loop turns (a slow request, say).
    std::function<void()> onTurn;
    void Wake() override {}
    int yields = 0;
    int waitedMs = 0;

  private:
    void Turn() {
        if (onTurn) onTurn();
        RunQueued();
    }
};
