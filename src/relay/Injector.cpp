#include "relay/Injector.h"

namespace velmora::relay {

void Injector::ClickAt(std::int32_t x, std::int32_t y, int delayMs) {
    input_.MoveCursor(x, y);
    input_.LeftDown();
    input_.LeftUp();
    loop_.Yield();
    loop_.Wait(delayMs);
}

void Injector::PressKeyChord(std::int32_t key, std::int32_t modifier, int delayMs) {
    // Codes outside 0..255 are never passed; the cast keeps the low byte like the OS would.
    auto vk = [](std::int32_t c) { return static_cast<std::uint8_t>(c & 0xFF); };
    if (modifier != 0) input_.KeyDown(vk(modifier));
    input_.KeyDown(vk(key));
    loop_.Yield();
    loop_.Wait(delayMs);
    input_.KeyUp(vk(key));
    if (modifier != 0) input_.KeyUp(vk(modifier));
}

}  // namespace velmora::relay
