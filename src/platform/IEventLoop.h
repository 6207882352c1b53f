#pragma once

#include <functional>

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
};

}  // namespace velmora::platform
