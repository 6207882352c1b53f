#pragma once

#include <cstdint>

#include "platform/Platform.h"
#include "target/mduKeyBoard.h"
#include "target/mduMouse.h"

namespace velmora::target {

// The two injection operations bound to one input port and event loop, for callers that
// click and press in a row.
struct Injector {
    platform::IInput& input;
    platform::IEventLoop& loop;

    explicit Injector(platform::Platform& p) : input(p.input), loop(p.loop) {}
    Injector(platform::IInput& i, platform::IEventLoop& l) : input(i), loop(l) {}

    void ClickAt(std::int32_t x, std::int32_t y, std::int32_t delayMs) {
        target::ClickAt(input, loop, x, y, delayMs);
    }
    bool PressKeyChord(std::uint8_t key, std::uint8_t modifier, std::int32_t delayMs) {
        return target::PressKeyChord(input, loop, key, modifier, delayMs);
    }
    bool PressChordRun(std::initializer_list<Chord> chords) {
        return target::PressChordRun(input, loop, chords);
    }
};

}  // namespace velmora::target
