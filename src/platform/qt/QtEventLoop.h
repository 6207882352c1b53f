#pragma once

#include <vector>

#include "platform/IEventLoop.h"

class QEventLoop;

namespace velmora::platform::qt {

// The Qt GUI thread's loop. Waits run nested QEventLoops, so timers, input and clipboard
// requests from other programs keep being served while the logic waits.
class QtEventLoop : public IEventLoop {
  public:
    void Yield() override;
    void Wait(int ms) override;
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override;
    void Wake() override;

  private:
    std::vector<QEventLoop*> waiting_;
};

}  // namespace velmora::platform::qt
