#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

namespace velmora::platform {

// Thrown by a wait on the network that gave up because the user cancelled the job it serves.
class Cancelled : public std::runtime_error {
  public:
    Cancelled() : std::runtime_error("cancelled by the user") {}
};

// The single user-interface thread's message loop. Every wait keeps dispatching events, so
// our own windows (and the clipboard we serve to other programs) stay alive while we wait.
// Jobs that must not nest in other handlers suspend instead (platform/Async.h) on Post, After
// and RunAside. Called off the loop's thread (work run aside), Yield does nothing and the
// waits block without dispatching: only the loop's own thread may run its handlers.
class IEventLoop {
  public:
    static constexpr int kPollMs = 10;
    virtual ~IEventLoop() = default;

    // Runs fn on the loop's thread at a later turn. Safe from any thread.
    virtual void Post(std::function<void()> fn) = 0;
    // Runs fn on the loop's thread once ms milliseconds have passed (loop thread only).
    virtual void After(int ms, std::function<void()> fn) = 0;
    // Runs work on a thread of its own, then done on the loop's thread (loop thread only).
    // Work must not touch anything the loop's handlers use meanwhile.
    virtual void RunAside(std::function<void()> work, std::function<void()> done) = 0;
    // Waits until all work run aside has ended (its done callbacks may still be pending); the
    // owner of what that work uses calls it, after RequestCancel, before letting it go.
    virtual void JoinAside() = 0;
    bool OnLoopThread() const { return std::this_thread::get_id() == owner_; }

    // Dispatch what is pending now, then return without waiting for more.
    virtual void Yield() = 0;
    // Dispatch events for ms milliseconds (the counterpart of Sleep). 0 still yields once.
    virtual void Wait(int ms) = 0;
    // Dispatch events until done() is true or timeoutMs passed; done() is checked at the start,
    // after every Wake(), at least every kPollMs in between (conditions on other programs'
    // windows change with no wake of ours) and at the end. Returns done()'s last value.
    virtual bool WaitUntil(const std::function<bool()>& done, int timeoutMs) = 0;
    // Ask the innermost WaitUntil to check its condition again now.
    virtual void Wake() = 0;
    // Block for ms milliseconds without dispatching anything: while an injected key is down
    // nothing of ours may run (a handler that blocks would let the server auto-repeat it).
    virtual void Hold(int ms) {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

    // The user cancelled the running job (Esc during a send's translation): the network waits
    // under it throw Cancelled at their next turn, and the job clears the request when it ends.
    // Safe from any thread: work run aside checks it between its own waits.
    void RequestCancel() { cancelRequested_ = true; }
    void ClearCancel() { cancelRequested_ = false; }
    bool CancelRequested() const { return cancelRequested_; }

  private:
    std::atomic<bool> cancelRequested_ = false;
    std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace velmora::platform
