#include "translate/engines/CircuitBreaker.h"

#include <algorithm>

namespace velmora::translate::engines {

std::int64_t CircuitBreaker::Trip(std::int64_t nowMs) {
    lastOpenMs_ = lastOpenMs_ == 0 ? kFirstOpenMs : std::min(lastOpenMs_ * 2, kMaxOpenMs);
    openUntilMs_ = nowMs + lastOpenMs_;
    return lastOpenMs_;
}

bool CircuitBreaker::Close() {
    const bool wasTripped = lastOpenMs_ != 0;
    lastOpenMs_ = 0;
    openUntilMs_ = 0;
    return wasTripped;
}

}  // namespace velmora::translate::engines
