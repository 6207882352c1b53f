#pragma once

#include <cstdint>

#include "platform/IEventLoop.h"
#include "platform/IInput.h"

namespace velmora::target {

// Moves the cursor to the screen point and clicks the left button there, then yields, waits
// (bounded) until the system no longer counts a button as down, and waits delayMs. The cursor
// stays at the point.
void ClickAt(platform::IInput& input, platform::IEventLoop& loop, std::int32_t x, std::int32_t y,
             std::int32_t delayMs);

}  // namespace velmora::target
