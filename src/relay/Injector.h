#pragma once

#include <cstdint>

#include "platform/IEventLoop.h"
#include "platform/IInput.h"

namespace velmora::relay {

// The two synthetic input primitives the relay flows use. A click yields once after the release
// and then waits; a chord holds its key for the delay. Every wait keeps the event loop running,
// so the clipboard we serve to a pasting window stays alive.
class Injector {
  public:
    Injector(platform::IInput& input, platform::IEventLoop& loop) : input_(input), loop_(loop) {}

    void ClickAt(std::int32_t x, std::int32_t y, int delayMs);
    // modifier 0: the key alone. Any other code is pressed around the key like a modifier.
    void PressKeyChord(std::int32_t key, std::int32_t modifier, int delayMs);

  private:
    platform::IInput& input_;
    platform::IEventLoop& loop_;
};

}  // namespace velmora::relay
