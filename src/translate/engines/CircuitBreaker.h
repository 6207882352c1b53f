#pragma once

#include <cstdint>

namespace velmora::translate::engines {

// Keeps an engine that failed at the transport (refused, unreachable, timed out) out of use for
// a while, so a dead engine costs one timeout now and then instead of one per piece. It opens for
// 30 s, twice as long after each further failure in a row up to 10 min, and closes when the
// engine answers. Times are readings of a steady clock in milliseconds.
class CircuitBreaker {
  public:
    static constexpr std::int64_t kFirstOpenMs = 30'000;
    static constexpr std::int64_t kMaxOpenMs = 600'000;

    bool IsOpen(std::int64_t nowMs) const { return nowMs < openUntilMs_; }
    // A transport failure at nowMs; returns how long it stays open from now.
    std::int64_t Trip(std::int64_t nowMs);
    // The engine answered; returns whether it had failed before (the breaker closes).
    bool Close();

  private:
    std::int64_t openUntilMs_ = 0;
    std::int64_t lastOpenMs_ = 0;  // 0 while the engine answers
};

}  // namespace velmora::translate::engines
