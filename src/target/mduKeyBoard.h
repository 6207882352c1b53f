#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/IEventLoop.h"
#include "platform/IInput.h"

namespace velmora::target {

// Presses key, with modifier held around it when modifier is not 0; the key is held for
// delayMs (held without turning the event loop) before both are released in reverse order. False
// when the modifier, a real modifier key, was no longer down when we came to release it: the system
// let go of it under the chord, so the key may have arrived alone.
bool PressKeyChord(platform::IInput& input, platform::IEventLoop& loop, std::uint8_t key,
                   std::uint8_t modifier, std::int32_t delayMs);

struct Chord {
    std::uint8_t key;
    std::uint8_t modifier;
    std::int32_t delayMs;
};

// How often a run of chords is pressed before it is given up.
inline constexpr int kChordRunAttempts = 3;

// Presses the chords in order. When the system let go of a modifier under one of them, the run
// starts over from its first chord, up to kChordRunAttempts times in all: a run is select-all
// followed by copy, delete or paste, so pressing it again puts right what a bare letter did.
// False when no run went through whole.
bool PressChordRun(platform::IInput& input, platform::IEventLoop& loop,
                   std::initializer_list<Chord> chords);

}  // namespace velmora::target
