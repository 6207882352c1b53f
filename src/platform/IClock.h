#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace velmora::platform {

class IClock {
  public:
    virtual ~IClock() = default;
    // Local date-time in milliseconds since a fixed origin that falls on a local midnight;
    // differences are elapsed milliseconds.
    virtual std::int64_t NowMs() = 0;
    // The same clock in whole seconds: a whole second of one is a whole second of the other.
    std::int64_t NowSeconds() { return NowMs() / 1000; }
    // Milliseconds on a monotonic clock from an arbitrary origin: only differences mean
    // anything, and a change of the date, time or time zone does not move it. For back-off and
    // timeouts.
    virtual std::int64_t SteadyMs() = 0;
    virtual LocalTime NowLocal() = 0;
    // Seconds since local midnight, with the fraction.
    double SecondsSinceMidnight() {
        constexpr std::int64_t kDayMs = 24 * 60 * 60 * 1000;
        return static_cast<double>(NowMs() % kDayMs) / 1000.0;
    }
};

}  // namespace velmora::platform
