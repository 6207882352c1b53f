#include "platform/wayland/XkbKeyboard.h"

#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <stdexcept>

namespace velmora::platform::wayland {

namespace {

// XKB keycodes are evdev codes shifted by 8, a leftover of X11's reserved low codes.
constexpr std::uint32_t kEvdevOffset = 8;

}  // namespace

void XkbKeyboard::Free::operator()(xkb_context* p) const {
    xkb_context_unref(p);
}
void XkbKeyboard::Free::operator()(xkb_keymap* p) const {
    xkb_keymap_unref(p);
}
void XkbKeyboard::Free::operator()(xkb_state* p) const {
    xkb_state_unref(p);
}

XkbKeyboard::XkbKeyboard() {
    // No XKB_DEFAULT_* from the environment: the keys we send mean the same everywhere.
    context_.reset(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context_) throw std::runtime_error("libxkbcommon could not make a context");
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    keymap_.reset(xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap_)
        throw std::runtime_error("libxkbcommon could not build the US keymap (evdev rules)");
    state_.reset(xkb_state_new(keymap_.get()));
    if (!state_) throw std::runtime_error("libxkbcommon could not make a keyboard state");
    char* text = xkb_keymap_get_as_string(keymap_.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text) throw std::runtime_error("libxkbcommon could not write the keymap out");
    text_ = text;
    std::free(text);
}

XkbKeyboard::~XkbKeyboard() = default;

bool XkbKeyboard::Update(std::uint32_t evdevKey, bool down) {
    const auto changed = xkb_state_update_key(state_.get(), evdevKey + kEvdevOffset,
                                              down ? XKB_KEY_DOWN : XKB_KEY_UP);
    return (changed & (XKB_STATE_MODS_DEPRESSED | XKB_STATE_MODS_LATCHED | XKB_STATE_MODS_LOCKED |
                       XKB_STATE_LAYOUT_EFFECTIVE)) != 0;
}

XkbKeyboard::Modifiers XkbKeyboard::Current() const {
    xkb_state* s = state_.get();
    return {xkb_state_serialize_mods(s, XKB_STATE_MODS_DEPRESSED),
            xkb_state_serialize_mods(s, XKB_STATE_MODS_LATCHED),
            xkb_state_serialize_mods(s, XKB_STATE_MODS_LOCKED),
            xkb_state_serialize_layout(s, XKB_STATE_LAYOUT_EFFECTIVE)};
}

std::uint32_t XkbKeyboard::MaskOf(const char* name) const {
    const xkb_mod_index_t i = xkb_keymap_mod_get_index(keymap_.get(), name);
    return i == XKB_MOD_INVALID || i >= 32 ? 0 : 1u << i;
}

}  // namespace velmora::platform::wayland
