#pragma once

#include <chrono>
#include <functional>

#include "platform/IEventLoop.h"
#include "platform/LoopQueue.h"

// What a test's own event loop needs to carry suspended jobs: posted calls and timers, run by
// the loop's waits through RunQueued, and work run aside on threads of its own.
class QueuedLoop : public velmora::platform::IEventLoop {
  public:
    ~QueuedLoop() override {
        RequestCancel();
        aside_.JoinAll();
    }
    void Post(std::function<void()> fn) override { queue_.Post(std::move(fn)); }
    void After(int ms, std::function<void()> fn) override {
        ++timersSet;
        queue_.After(NowMs() + (ms > 0 ? ms : 0), std::move(fn));
    }
    // How many timers jobs set: a job that waits suspended on the loop sets them.
    int timersSet = 0;
    void RunAside(std::function<void()> work, std::function<void()> done) override {
        aside_.Run(*this, std::move(work), std::move(done));
    }
    void JoinAside() override { aside_.JoinAll(); }
    // Turns the loop until done() holds or timeoutMs passed: how a test waits for a job.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
        return WaitUntil(done, timeoutMs);
    }

  protected:
    static std::int64_t NowMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    // Runs every posted call and every timer that is due.
    void RunQueued() {
        if (!OnLoopThread()) return;
        while (queue_.RunOne(NowMs())) {
        }
    }

  private:
    velmora::platform::LoopQueue queue_;
    velmora::platform::AsideThreads aside_;
};
