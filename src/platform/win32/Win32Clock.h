#pragma once

#include "platform/IClock.h"

namespace velmora::platform::win32 {

// Local wall-clock time (GetLocalTime), milliseconds since 1601-01-01 local time, so that
// NowSeconds() == NowMs() / 1000 and a whole second of one is a whole second of the other.
class Win32Clock : public IClock {
  public:
    std::int64_t NowSeconds() override;
    std::int64_t NowMs() override;
    // Milliseconds since boot (GetTickCount64), the clock the event loop's waits use.
    std::int64_t SteadyMs() override;
    LocalTime NowLocal() override;
    double SecondsSinceMidnight() override;
};

}  // namespace velmora::platform::win32
