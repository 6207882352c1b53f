#pragma once

#include <cstdint>
#include <functional>

#include "platform/IClock.h"

namespace velmora::app {

// The running program's version heartbeat: on a tick, query again once more than ten minutes
// have passed since the last query. The answer is not used.
class Heartbeat {
  public:
    static constexpr int kTickMs = 30000;
    static constexpr std::int64_t kMinGapSeconds = 600;

    Heartbeat(platform::IClock& clock, std::function<void()> query)
        : clock_(clock), query_(std::move(query)) {}

    // Returns whether a query was sent.
    bool Tick();
    std::int64_t LastVersionCheck() const { return lastVersionCheck_; }

  private:
    platform::IClock& clock_;
    std::function<void()> query_;
    // The zero date-time: far enough back that the first tick always queries.
    std::int64_t lastVersionCheck_ = 0;
};

}  // namespace velmora::app
