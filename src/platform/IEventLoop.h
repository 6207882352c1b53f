#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace velmora::platform {

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
};

}  // namespace velmora::platform
