#pragma once

#include "platform/IClock.h"

namespace velmora::platform::qt {

// Local wall-clock time, and a monotonic clock beside it.
class QtClock : public IClock {
  public:
    std::int64_t NowSeconds() override;
    std::int64_t NowMs() override;
    std::int64_t SteadyMs() override;
    LocalTime NowLocal() override;
    double SecondsSinceMidnight() override;
};

}  // namespace velmora::platform::qt
