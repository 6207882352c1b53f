#pragma once

#include "platform/IClock.h"

namespace velmora::platform {

// The system's local wall-clock time, milliseconds counted from a local midnight, and a
// monotonic clock beside it. One class, defined by each system's backend (only one is linked
// into a program).
class SystemClock : public IClock {
  public:
    std::int64_t NowMs() override;
    std::int64_t SteadyMs() override;
    LocalTime NowLocal() override;
};

}  // namespace velmora::platform
