#pragma once

#include <cstdint>
#include <set>

namespace velmora::platform::wayland {

// The Linux evdev key code (KEY_*, the XKB keycode minus 8) of the key a Windows virtual-key
// code names, by its place on a US keyboard; 0 (KEY_RESERVED) for a code with no key here.
// Letters and digits are their unshifted keys: the shift state is the caller's business.
// A side-neutral modifier (Shift, Control, Alt) is its left key. F13..F24 are the keys such a
// keyboard sends; the US evdev keymap gives them launcher keysyms (F13 is XF86Tools).
std::uint32_t EvdevKeyForVk(std::uint8_t vk);

// Whether the key a virtual-key code names is among the held evdev keys; the side-neutral
// codes (Shift, Control, Alt) ask for either side's key, as on Windows.
bool EvdevKeyHeld(const std::set<std::uint32_t>& held, std::uint8_t vk);

}  // namespace velmora::platform::wayland
