#include "target/mduMouse.h"

namespace velmora::target {

void ClickAt(platform::IInput& input, platform::IEventLoop& loop, std::int32_t x, std::int32_t y,
             std::int32_t delayMs) {
    input.MoveCursor(x, y);
    input.LeftDown();
    input.LeftUp();
    loop.Yield();
    loop.Wait(delayMs);
}

}  // namespace velmora::target
