#pragma once

#include <cstdint>

#include "platform/IEventLoop.h"
#include "platform/IInput.h"

namespace velmora::target {

// Presses key, with modifier held around it when modifier is not 0; the key is held for
// delayMs (a yield, then the wait) before both are released in reverse order.
void PressKeyChord(platform::IInput& input, platform::IEventLoop& loop, std::uint8_t key,
                   std::uint8_t modifier, std::int32_t delayMs);

}  // namespace velmora::target
