#pragma once

#include <QObject>
#include <vector>

#include "platform/ThreadedEventLoop.h"

class QEventLoop;

namespace velmora::platform::qt {

// The Qt GUI thread's loop. Jobs suspend on it (Post, After, RunAside); the remaining waits run
// nested QEventLoops, so timers, input and clipboard requests from other programs keep being
// served while they wait.
class QtEventLoop : public ThreadedEventLoop {
  public:
    ~QtEventLoop() override;
    void Post(std::function<void()> fn) override;
    void After(int ms, std::function<void()> fn) override;
    void Wake() override;

  private:
    void DispatchFor(int ms) override;
    bool DispatchUntil(const std::function<bool()>& done, int timeoutMs) override;

    // Posted calls and timers are dropped with it, so none runs into a loop that is gone.
    QObject context_;
    std::vector<QEventLoop*> waiting_;
};

}  // namespace velmora::platform::qt
