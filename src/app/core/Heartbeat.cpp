#include "app/core/Heartbeat.h"

namespace velmora::app {

Heartbeat::~Heartbeat() {
    if (!*inFlight_) return;
    loop_.RequestCancel();
    loop_.JoinAside();
}

bool Heartbeat::Tick() {
    std::int64_t now = clock_.NowSeconds();
    if (now - lastVersionCheck_ <= kMinGapSeconds || *inFlight_) return false;
    // Moved on also when the query fails, so a dead server is asked again ten minutes later.
    lastVersionCheck_ = now;
    if (!query_) return true;
    *inFlight_ = true;
    loop_.RunAside([query = query_] { query(); }, [flag = inFlight_] { *flag = false; });
    return true;
}

}  // namespace velmora::app
