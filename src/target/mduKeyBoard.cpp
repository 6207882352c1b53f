#include "target/mduKeyBoard.h"

namespace velmora::target {

void PressKeyChord(platform::IInput& input, platform::IEventLoop& loop, std::uint8_t key,
                   std::uint8_t modifier, std::int32_t delayMs) {
    if (modifier != 0) input.KeyDown(modifier);
    input.KeyDown(key);
    loop.Yield();
    loop.Wait(delayMs);
    input.KeyUp(key);
    if (modifier != 0) input.KeyUp(modifier);
}

}  // namespace velmora::target
