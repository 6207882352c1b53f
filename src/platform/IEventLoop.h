#pragma once

#include <functional>
#include <memory>

namespace velmora::platform {

// A repeating timer that fires on the event loop's thread.
class ITimer {
  public:
    virtual ~ITimer() = default;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool on) = 0;
    virtual bool Enabled() const = 0;
    virtual void OnTick(std::function<void()> handler) = 0;
};

// The single user-interface thread's message loop. Every wait keeps dispatching events, so
// our own windows (and the clipboard we serve to other programs) stay alive while we wait.
class IEventLoop {
  public:
    virtual ~IEventLoop() = default;
    // Dispatch what is pending now, then return without waiting for more.
    virtual void Yield() = 0;
    // Dispatch events for ms milliseconds (the counterpart of Sleep). 0 still yields once.
    virtual void Wait(int ms) = 0;
    // Dispatch events until done() is true or timeoutMs passed; done() is checked at the start,
    // after every Wake() and at the end. Returns done()'s last value.
    virtual bool WaitUntil(const std::function<bool()>& done, int timeoutMs) = 0;
    // Ask the innermost WaitUntil to check its condition again now.
    virtual void Wake() = 0;
    virtual std::unique_ptr<ITimer> CreateTimer() = 0;
};

}  // namespace velmora::platform
