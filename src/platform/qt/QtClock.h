#pragma once

#include "platform/IClock.h"

namespace velmora::platform::qt {

// Local wall-clock time.
class QtClock : public IClock {
  public:
    std::int64_t NowSeconds() override;
    std::int64_t NowMs() override;
    LocalTime NowLocal() override;
    double SecondsSinceMidnight() override;
};

}  // namespace velmora::platform::qt
