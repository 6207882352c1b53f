#pragma once

#include <QObject>
#include <vector>

#include "platform/IEventLoop.h"
#include "platform/LoopQueue.h"

class QEventLoop;

namespace velmora::platform::qt {

// The Qt GUI thread's loop. Jobs suspend on it (Post, After, RunAside); the remaining waits run
// nested QEventLoops, so timers, input and clipboard requests from other programs keep being
// served while they wait.
class QtEventLoop : public IEventLoop {
  public:
    ~QtEventLoop() override;
    void Post(std::function<void()> fn) override;
    void After(int ms, std::function<void()> fn) override;
    void RunAside(std::function<void()> work, std::function<void()> done) override;
    void JoinAside() override { aside_.JoinAll(); }
    void Yield() override;
    void Wait(int ms) override;
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override;
    void Wake() override;

  private:
    // Posted calls and timers are dropped with it, so none runs into a loop that is gone.
    QObject context_;
    std::vector<QEventLoop*> waiting_;
    AsideThreads aside_;
};

}  // namespace velmora::platform::qt
