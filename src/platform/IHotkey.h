#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velmora::platform {

// Modifier bits of a global shortcut.
enum HotkeyModifier : std::uint8_t {
    kHotkeyControl = 1,
    kHotkeyAlt = 2,
    kHotkeyShift = 4,
    kHotkeySuper = 8,
};

// A global shortcut: modifier bits and one key, a Windows virtual-key code (a letter, a digit or
// F1..F24).
struct HotkeyChord {
    std::uint8_t modifiers = 0;
    std::uint8_t key = 0;
    bool operator==(const HotkeyChord&) const = default;
};

// The reason Register gives when another program holds the chord.
inline constexpr std::string_view kHotkeyTaken = "another program holds this shortcut";

// A shortcut that works whichever window has the focus. Owned by the program's start-up, not
// part of the Platform bundle: only the composition root registers it.
class IHotkey {
  public:
    virtual ~IHotkey() = default;
    // Takes the chord system-wide, replacing the one this object held. False, with a short
    // English reason in why and nothing held, when the chord cannot be mapped or another
    // program holds it.
    virtual bool Register(const HotkeyChord& chord, std::string& why) = 0;
    // Gives the chord back; safe to call when nothing is held.
    virtual void Unregister() = 0;
    // Runs once per press of the held chord (not again while the key repeats).
    virtual void SetHandler(std::function<void()> onPressed) = 0;
};

}  // namespace velmora::platform
