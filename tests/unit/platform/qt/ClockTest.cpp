#include "platform/SystemClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace velmora::platform::qt {
namespace {

// The steady reading is its own clock: it moves with real time and is not the wall time,
// which a user or daylight-saving time can set back or forward.
TEST(SystemClock, SteadyMillisecondsAdvanceWithRealTimeApartFromTheWallClock) {
    SystemClock clock;
    const std::int64_t before = clock.SteadyMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::int64_t after = clock.SteadyMs();
    EXPECT_GE(after - before, 50);
    EXPECT_GT(std::abs(clock.NowMs() - after), 24LL * 3600 * 1000);
}

}  // namespace
}  // namespace velmora::platform::qt
