#include "target/mduKeyBoard.h"

#include "platform/VirtualKey.h"

namespace velmora::target {

bool PressKeyChord(platform::IInput& input, platform::IEventLoop& loop, std::uint8_t key,
                   std::uint8_t modifier, std::int32_t delayMs) {
    if (modifier != 0) input.KeyDown(modifier);
    input.KeyDown(key);
    // Held without turning the loop: a handler run now (a slow request, say) would keep the
    // key down long enough for the server to repeat it into the chat window.
    loop.Hold(delayMs);
    input.KeyUp(key);
    if (modifier == 0) return true;
    // Asked as late as possible: a release after this point comes after ours anyway.
    const bool held = !platform::vk::IsModifier(modifier) || input.IsKeyDown(modifier);
    input.KeyUp(modifier);
    return held;
}

bool PressChordRun(platform::IInput& input, platform::IEventLoop& loop,
                   std::initializer_list<Chord> chords) {
    for (int attempt = 0; attempt < kChordRunAttempts; ++attempt) {
        bool whole = true;
        for (const Chord& c : chords) {
            // The rest of a broken run would act on the wrong selection: start over at once.
            whole = PressKeyChord(input, loop, c.key, c.modifier, c.delayMs);
            if (!whole) break;
        }
        if (whole) return true;
    }
    return false;
}

}  // namespace velmora::target
