#include "app/core/Heartbeat.h"

namespace velmora::app {

bool Heartbeat::Tick() {
    std::int64_t now = clock_.NowSeconds();
    if (now - lastVersionCheck_ <= kMinGapSeconds) return false;
    if (query_) query_();
    // Moved on also when the query failed, so a dead server is asked again ten minutes later.
    lastVersionCheck_ = clock_.NowSeconds();
    return true;
}

}  // namespace velmora::app
