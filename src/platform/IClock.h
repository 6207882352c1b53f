#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace velmora::platform {

class IClock {
  public:
    virtual ~IClock() = default;
    // Local date-time in whole seconds since an arbitrary fixed origin; differences are
    // elapsed seconds on the whole-second clock.
    virtual std::int64_t NowSeconds() = 0;
    // Milliseconds on the same clock, for waits that need finer steps.
    virtual std::int64_t NowMs() = 0;
    // Milliseconds on a monotonic clock from an arbitrary origin: only differences mean
    // anything, and a change of the date, time or time zone does not move it. For back-off and
    // timeouts.
    virtual std::int64_t SteadyMs() = 0;
    virtual LocalTime NowLocal() = 0;
    // Seconds since local midnight, with the fraction.
    virtual double SecondsSinceMidnight() = 0;
};

}  // namespace velmora::platform
