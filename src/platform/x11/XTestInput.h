#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <optional>

#include "platform/SystemInput.h"
#include "platform/x11/XDisplay.h"

namespace velmora::platform {

namespace x11 {
// The keysym that stands for a Windows virtual-key code; NoSymbol when we have none.
KeySym KeysymForVk(std::uint8_t vk);
}  // namespace x11

// SystemInput through XTest: each fake event is flushed at once. Keys are found in the
// server's keyboard map, switching the XKB group for the length of a chord where needed.
struct SystemInput::State {
    explicit State(x11::XDisplay& display);

    struct KeyPos {
        KeyCode kc;
        int group;  // the XKB group in which kc yields the keysym
    };
    struct XkbFree {
        void operator()(XkbDescPtr p) const;
    };
    std::optional<KeyPos> Find(KeySym sym) const;
    void ReloadKeymap();
    // The keycode a held key went down on, else where the keymap has it now; 0 if nowhere.
    KeyCode KeycodeOf(std::uint8_t vk);

    x11::XDisplay& d;
    // Keycode each held key went down on, so its release matches even if the layout changed.
    std::map<std::uint8_t, KeyCode> held;
    std::unique_ptr<XkbDescRec, XkbFree> keymap;
    int group = 0;      // the effective group the server is in, as far as we know
    int userGroup = 0;  // the group the user had locked when the chord began
    bool switched = false;
};

}  // namespace velmora::platform
