#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/IClock.h"
#include "platform/IEventLoop.h"

namespace velmora::app {

// The running program's version heartbeat: on a tick, query again once more than ten minutes
// have passed since the last query. The answer is not used. The query (up to the HTTP
// timeout) runs aside, beside the relay's jobs: it never holds one up or runs inside one.
class Heartbeat {
  public:
    static constexpr int kTickMs = 30000;
    static constexpr std::int64_t kMinGapSeconds = 600;

    // query runs on a thread of its own: it may use only what outlives this object.
    Heartbeat(platform::IClock& clock, platform::IEventLoop& loop, std::function<void()> query)
        : clock_(clock), loop_(loop), query_(std::move(query)) {}
    // A query still in flight is given up and waited for.
    ~Heartbeat();
    Heartbeat(const Heartbeat&) = delete;
    Heartbeat& operator=(const Heartbeat&) = delete;

    // Returns whether a query was started (none while the last is still in flight).
    bool Tick();
    bool InFlight() const { return *inFlight_; }
    std::int64_t LastVersionCheck() const { return lastVersionCheck_; }

  private:
    platform::IClock& clock_;
    platform::IEventLoop& loop_;
    std::function<void()> query_;
    // Shared with the query's callback, which may come after this object has gone.
    std::shared_ptr<std::atomic<bool>> inFlight_ = std::make_shared<std::atomic<bool>>(false);
    // The zero date-time: far enough back that the first tick always queries.
    std::int64_t lastVersionCheck_ = 0;
};

}  // namespace velmora::app
