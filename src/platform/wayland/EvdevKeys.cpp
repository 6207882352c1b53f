#include "platform/wayland/EvdevKeys.h"

#include <linux/input-event-codes.h>

#include <array>

#include "platform/VirtualKey.h"

namespace velmora::platform::wayland {

namespace {

// Indexed by the virtual-key code; 0 where no key.
constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> t{};
    t[0x08] = KEY_BACKSPACE;
    t[0x09] = KEY_TAB;
    t[0x0D] = KEY_ENTER;
    t[0x10] = KEY_LEFTSHIFT;
    t[0x11] = KEY_LEFTCTRL;
    t[0x12] = KEY_LEFTALT;
    t[0x13] = KEY_PAUSE;
    t[0x1B] = KEY_ESC;
    t[0x20] = KEY_SPACE;
    t[0x21] = KEY_PAGEUP;
    t[0x22] = KEY_PAGEDOWN;
    t[0x23] = KEY_END;
    t[0x24] = KEY_HOME;
    t[0x25] = KEY_LEFT;
    t[0x26] = KEY_UP;
    t[0x27] = KEY_RIGHT;
    t[0x28] = KEY_DOWN;
    t[0x2C] = KEY_SYSRQ;  // Print Screen
    t[0x2D] = KEY_INSERT;
    t[0x2E] = KEY_DELETE;
    // '0'..'9': evdev numbers the row from 1, with 0 last.
    t['0'] = KEY_0;
    constexpr std::uint16_t digits[] = {KEY_1, KEY_2, KEY_3, KEY_4, KEY_5,
                                        KEY_6, KEY_7, KEY_8, KEY_9};
    for (int i = 0; i < 9; ++i) t['1' + i] = digits[i];
    // Evdev numbers letters by keyboard row, not alphabet.
    constexpr std::uint16_t letters[] = {
        KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
        KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    for (int i = 0; i < 26; ++i) t['A' + i] = letters[i];
    t[0x5B] = KEY_LEFTMETA;   // left Windows key
    t[0x5C] = KEY_RIGHTMETA;  // right Windows key
    t[0x5D] = KEY_COMPOSE;    // Applications (menu) key
    // F1..F24 (0x70..0x87): three runs in evdev.
    for (int i = 0; i < 10; ++i) t[0x70 + i] = static_cast<std::uint16_t>(KEY_F1 + i);
    t[0x7A] = KEY_F11;
    t[0x7B] = KEY_F12;
    for (int i = 0; i < 12; ++i) t[0x7C + i] = static_cast<std::uint16_t>(KEY_F13 + i);
    t[0xA0] = KEY_LEFTSHIFT;
    t[0xA1] = KEY_RIGHTSHIFT;
    t[0xA2] = KEY_LEFTCTRL;
    t[0xA3] = KEY_RIGHTCTRL;
    t[0xA4] = KEY_LEFTALT;
    t[0xA5] = KEY_RIGHTALT;
    // The OEM keys, named by what they give on a US keyboard.
    t[0xBA] = KEY_SEMICOLON;   // ;:
    t[0xBB] = KEY_EQUAL;       // =+
    t[0xBC] = KEY_COMMA;       // ,<
    t[0xBD] = KEY_MINUS;       // -_
    t[0xBE] = KEY_DOT;         // .>
    t[0xBF] = KEY_SLASH;       // /?
    t[0xC0] = KEY_GRAVE;       // `~
    t[0xDB] = KEY_LEFTBRACE;   // [{
    t[0xDC] = KEY_BACKSLASH;   // \|
    t[0xDD] = KEY_RIGHTBRACE;  // ]}
    t[0xDE] = KEY_APOSTROPHE;  // '"
    t[0xE2] = KEY_102ND;       // the extra key of ISO keyboards
    return t;
}

constexpr auto kTable = MakeTable();

}  // namespace

std::uint32_t EvdevKeyForVk(std::uint8_t vk) {
    return kTable[vk];
}

bool EvdevKeyHeld(const std::set<std::uint32_t>& held, std::uint8_t vk) {
    const auto down = [&held](std::uint8_t code) {
        const std::uint32_t key = EvdevKeyForVk(code);
        return key != 0 && held.count(key) > 0;
    };
    switch (vk) {
        case vk::Shift:
            return down(0xA0) || down(0xA1);
        case vk::Control:
            return down(0xA2) || down(0xA3);
        case vk::Menu:
            return down(0xA4) || down(0xA5);
        default:
            return down(vk);
    }
}

}  // namespace velmora::platform::wayland
