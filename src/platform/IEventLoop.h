#pragma once

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
class IEventLoop {
  public:
    static constexpr int kPollMs = 10;
    virtual ~IEventLoop() = default;
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
    void RequestCancel() { cancelRequested_ = true; }
    void ClearCancel() { cancelRequested_ = false; }
    bool CancelRequested() const { return cancelRequested_; }

  private:
    bool cancelRequested_ = false;
};

}  // namespace velmora::platform
