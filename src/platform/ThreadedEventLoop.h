#pragma once

#include <functional>

#include "platform/IEventLoop.h"
#include "platform/LoopQueue.h"

namespace velmora::platform {

// What the system loops share: work run aside on threads of its own, and waits that, called
// off the loop's thread, block without dispatching. A loop supplies the dispatching waits.
class ThreadedEventLoop : public IEventLoop {
  public:
    void RunAside(std::function<void()> work, std::function<void()> done) final;
    void JoinAside() final { aside_.JoinAll(); }
    void Yield() final;
    void Wait(int ms) final;
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) final;

  protected:
    // Work run aside may still be waiting on the network: it gives up at its next turn. A
    // loop's destructor calls this before anything that work's callbacks use goes.
    void StopAside();
    // On the loop's thread: dispatch for ms milliseconds (pending events once when ms <= 0),
    // or until done() as WaitUntil promises.
    virtual void DispatchFor(int ms) = 0;
    virtual bool DispatchUntil(const std::function<bool()>& done, int timeoutMs) = 0;

  private:
    AsideThreads aside_;
};

}  // namespace velmora::platform
