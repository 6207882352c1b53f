// Which keys our virtual keyboard presses for Windows virtual-key codes, read back through the
// keymap it uploads, and the modifier state its keys make.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/wayland/EvdevKeys.h"
#include "platform/wayland/XkbKeyboard.h"

namespace velmora::platform::wayland {
namespace {

// The uploaded keymap, compiled afresh as the compositor and the windows compile it.
class UploadedKeymap {
  public:
    explicit UploadedKeymap(const std::string& text)
        : context_(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), xkb_context_unref),
          keymap_(
              xkb_keymap_new_from_string(context_.get(), text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                         XKB_KEYMAP_COMPILE_NO_FLAGS),
              xkb_keymap_unref),
          state_(keymap_ ? xkb_state_new(keymap_.get()) : nullptr, xkb_state_unref) {}
    bool Ok() const { return state_ != nullptr; }
    // The unshifted keysym of an evdev key.
    xkb_keysym_t Sym(std::uint32_t evdev) const {
        return xkb_state_key_get_one_sym(state_.get(), evdev + 8);
    }

  private:
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context_;
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap_;
    std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state_;
};

struct KeyCase {
    int vk;
    xkb_keysym_t sym;
};

TEST(VirtualKeyboardKeys, EachVirtualKeyGivesItsKeyOnTheUploadedKeymap) {
    XkbKeyboard keyboard;
    const UploadedKeymap keymap(keyboard.KeymapText());
    ASSERT_TRUE(keymap.Ok());
    const KeyCase cases[] = {
        // Letters: lower case, whatever the alphabet order of evdev's rows.
        {'A', XKB_KEY_a},
        {'M', XKB_KEY_m},
        {'Q', XKB_KEY_q},
        {'Z', XKB_KEY_z},
        // Digits: evdev counts the row from 1 and puts 0 last.
        {'0', XKB_KEY_0},
        {'1', XKB_KEY_1},
        {'9', XKB_KEY_9},
        // Editing and navigation.
        {0x08, XKB_KEY_BackSpace},
        {0x09, XKB_KEY_Tab},
        {0x0D, XKB_KEY_Return},
        {0x1B, XKB_KEY_Escape},
        {0x20, XKB_KEY_space},
        {0x21, XKB_KEY_Prior},
        {0x22, XKB_KEY_Next},
        {0x23, XKB_KEY_End},
        {0x24, XKB_KEY_Home},
        {0x25, XKB_KEY_Left},
        {0x26, XKB_KEY_Up},
        {0x27, XKB_KEY_Right},
        {0x28, XKB_KEY_Down},
        {0x2C, XKB_KEY_Print},
        {0x2D, XKB_KEY_Insert},
        {0x2E, XKB_KEY_Delete},
        // Function keys: three runs in evdev.
        {0x70, XKB_KEY_F1},
        {0x79, XKB_KEY_F10},
        {0x7A, XKB_KEY_F11},
        {0x7B, XKB_KEY_F12},
        // Modifiers: the neutral codes are the left keys.
        {0x10, XKB_KEY_Shift_L},
        {0x11, XKB_KEY_Control_L},
        {0x12, XKB_KEY_Alt_L},
        {0xA0, XKB_KEY_Shift_L},
        {0xA1, XKB_KEY_Shift_R},
        {0xA2, XKB_KEY_Control_L},
        {0xA3, XKB_KEY_Control_R},
        {0xA4, XKB_KEY_Alt_L},
        {0xA5, XKB_KEY_Alt_R},
        {0x5B, XKB_KEY_Super_L},
        {0x5C, XKB_KEY_Super_R},
        // Punctuation, by its place on a US keyboard.
        {0xBA, XKB_KEY_semicolon},
        {0xBB, XKB_KEY_equal},
        {0xBC, XKB_KEY_comma},
        {0xBD, XKB_KEY_minus},
        {0xBE, XKB_KEY_period},
        {0xBF, XKB_KEY_slash},
        {0xC0, XKB_KEY_grave},
        {0xDB, XKB_KEY_bracketleft},
        {0xDC, XKB_KEY_backslash},
        {0xDD, XKB_KEY_bracketright},
        {0xDE, XKB_KEY_apostrophe},
    };
    for (const KeyCase& c : cases) {
        const std::uint32_t key = EvdevKeyForVk(static_cast<std::uint8_t>(c.vk));
        ASSERT_NE(key, 0u) << "vk 0x" << std::hex << c.vk;
        char want[64] = {}, got[64] = {};
        xkb_keysym_get_name(c.sym, want, sizeof want);
        xkb_keysym_get_name(keymap.Sym(key), got, sizeof got);
        EXPECT_STREQ(got, want) << "vk 0x" << std::hex << c.vk;
    }
}

TEST(VirtualKeyboardKeys, F13ToF24AreTheKeysSuchAKeyboardSends) {
    // The US evdev keymap gives these keys launcher keysyms (F13 is XF86Tools), as it does
    // for a real keyboard that has them: the key is what we choose, not its keysym.
    EXPECT_EQ(EvdevKeyForVk(0x7C), static_cast<std::uint32_t>(KEY_F13));
    EXPECT_EQ(EvdevKeyForVk(0x80), static_cast<std::uint32_t>(KEY_F17));
    EXPECT_EQ(EvdevKeyForVk(0x87), static_cast<std::uint32_t>(KEY_F24));
}

TEST(VirtualKeyboardKeys, CodesOfNoKeyPressNothing) {
    // No key, mouse buttons, a gap, the numeric keypad (not mapped), past F24, OEM_CLEAR.
    for (int vk : {0x00, 0x01, 0x07, 0x3A, 0x40, 0x60, 0x69, 0x88, 0xFE, 0xFF})
        EXPECT_EQ(EvdevKeyForVk(static_cast<std::uint8_t>(vk)), 0u) << "vk 0x" << std::hex << vk;
}

struct ModifierCase {
    std::uint32_t key;
    const char* modifier;
};

TEST(VirtualKeyboardModifiers, EachModifierKeySetsItsBitWhileDown) {
    const ModifierCase cases[] = {
        {KEY_LEFTSHIFT, XKB_MOD_NAME_SHIFT}, {KEY_RIGHTSHIFT, XKB_MOD_NAME_SHIFT},
        {KEY_LEFTCTRL, XKB_MOD_NAME_CTRL},   {KEY_RIGHTCTRL, XKB_MOD_NAME_CTRL},
        {KEY_LEFTALT, XKB_MOD_NAME_ALT},     {KEY_RIGHTALT, XKB_MOD_NAME_ALT},
        {KEY_LEFTMETA, XKB_MOD_NAME_LOGO},
    };
    for (const ModifierCase& c : cases) {
        XkbKeyboard keyboard;
        const std::uint32_t mask = keyboard.MaskOf(c.modifier);
        ASSERT_NE(mask, 0u) << c.modifier;
        EXPECT_TRUE(keyboard.Update(c.key, true)) << c.key;
        EXPECT_EQ(keyboard.Current(), (XkbKeyboard::Modifiers{mask, 0, 0, 0})) << c.key;
        EXPECT_TRUE(keyboard.Update(c.key, false)) << c.key;
        EXPECT_EQ(keyboard.Current(), XkbKeyboard::Modifiers{}) << c.key;
    }
}

TEST(VirtualKeyboardModifiers, ChordsAddUpAndOrdinaryKeysLeaveThemAlone) {
    XkbKeyboard keyboard;
    const std::uint32_t shift = keyboard.MaskOf(XKB_MOD_NAME_SHIFT);
    const std::uint32_t ctrl = keyboard.MaskOf(XKB_MOD_NAME_CTRL);
    ASSERT_NE(shift, ctrl);

    EXPECT_TRUE(keyboard.Update(EvdevKeyForVk(0x11), true));  // Control
    EXPECT_TRUE(keyboard.Update(EvdevKeyForVk(0x10), true));  // Shift
    EXPECT_EQ(keyboard.Current().depressed, shift | ctrl);
    // A letter in the chord changes no modifier: nothing to tell the compositor.
    EXPECT_FALSE(keyboard.Update(EvdevKeyForVk('A'), true));
    EXPECT_FALSE(keyboard.Update(EvdevKeyForVk('A'), false));
    EXPECT_EQ(keyboard.Current().depressed, shift | ctrl);
    // Both Shift keys down: letting one go keeps Shift.
    keyboard.Update(KEY_RIGHTSHIFT, true);
    keyboard.Update(KEY_LEFTSHIFT, false);
    EXPECT_EQ(keyboard.Current().depressed, shift | ctrl);
    keyboard.Update(KEY_RIGHTSHIFT, false);
    EXPECT_EQ(keyboard.Current().depressed, ctrl);
    keyboard.Update(KEY_LEFTCTRL, false);
    EXPECT_EQ(keyboard.Current(), XkbKeyboard::Modifiers{});
}

}  // namespace
}  // namespace velmora::platform::wayland
