#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <optional>

#include "platform/IInput.h"
#include "platform/x11/XDisplay.h"

namespace velmora::platform::x11 {

// The keysym that stands for a Windows virtual-key code; NoSymbol when we have none.
KeySym KeysymForVk(std::uint8_t vk);

// Synthetic input through XTest: one fake event per call, flushed at once.
class XTestInput : public IInput {
  public:
    explicit XTestInput(XDisplay& display);
    void MoveCursor(std::int32_t x, std::int32_t y) override;
    Point CursorPos() override;
    void LeftDown() override;
    void LeftUp() override;
    void KeyDown(std::uint8_t vk) override;
    void KeyUp(std::uint8_t vk) override;
    bool AnyKeyDown() override;
    bool IsKeyDown(std::uint8_t vk) override;
    bool AnyButtonDown() override;

  private:
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
    XDisplay& d_;
    // Keycode each held key went down on, so its release matches even if the layout changed.
    std::map<std::uint8_t, KeyCode> held_;
    std::unique_ptr<XkbDescRec, XkbFree> xkb_;
    int group_ = 0;      // the effective group the server is in, as far as we know
    int userGroup_ = 0;  // the group the user had locked when the chord began
    bool switched_ = false;
};

}  // namespace velmora::platform::x11
