#include "target/mduMouse.h"

namespace velmora::target {

namespace {
constexpr int kClickSettleMs = 1000;
}  // namespace

void ClickAt(platform::IInput& input, platform::IEventLoop& loop, std::int32_t x, std::int32_t y,
             std::int32_t delayMs) {
    input.MoveCursor(x, y);
    input.LeftDown();
    input.LeftUp();
    // Keys that follow must not overtake the click: wait until its release has been processed
    // (a window manager's grab can hold it back); a button the user holds ends the wait later.
    // Held like a chord: nothing of ours runs in between.
    for (int waited = 0; input.AnyButtonDown() && waited < kClickSettleMs;
         waited += platform::IEventLoop::kPollMs)
        loop.Hold(platform::IEventLoop::kPollMs);
    loop.Hold(delayMs);
}

}  // namespace velmora::target
