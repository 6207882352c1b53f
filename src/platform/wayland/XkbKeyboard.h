#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace velmora::platform::wayland {

// The keyboard our virtual keyboard claims to be: a US layout under the evdev rules, whatever
// the user's environment names, and the modifier state its keys make. A virtual keyboard's
// compositor does not work the modifiers out from the keys, so the sender has to.
class XkbKeyboard {
  public:
    struct Modifiers {
        std::uint32_t depressed = 0, latched = 0, locked = 0, group = 0;
        bool operator==(const Modifiers&) const = default;
    };

    // Throws std::runtime_error when libxkbcommon cannot build the keymap.
    XkbKeyboard();
    ~XkbKeyboard();
    XkbKeyboard(const XkbKeyboard&) = delete;
    XkbKeyboard& operator=(const XkbKeyboard&) = delete;

    // The keymap in XKB text form (XKB_V1), as a virtual keyboard uploads it.
    const std::string& KeymapText() const { return text_; }
    // Records a key (an evdev code) going down or up; true when the modifier state changed.
    bool Update(std::uint32_t evdevKey, bool down);
    Modifiers Current() const;
    // The mask bit of a named modifier (XKB_MOD_NAME_*); 0 when the keymap has no such one.
    std::uint32_t MaskOf(const char* name) const;

  private:
    struct Free {
        void operator()(xkb_context* p) const;
        void operator()(xkb_keymap* p) const;
        void operator()(xkb_state* p) const;
    };
    std::unique_ptr<xkb_context, Free> context_;
    std::unique_ptr<xkb_keymap, Free> keymap_;
    std::unique_ptr<xkb_state, Free> state_;
    std::string text_;
};

}  // namespace velmora::platform::wayland
