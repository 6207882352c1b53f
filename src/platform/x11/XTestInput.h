#pragma once

#include <X11/Xlib.h>

#include <map>

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

  private:
    KeyCode KeycodeFor(KeySym sym);
    void ReloadKeymap();
    XDisplay& d_;
    // Keycode each held key went down on, so its release matches even if the layout changed.
    std::map<std::uint8_t, KeyCode> held_;
    std::map<KeySym, KeyCode> keymap_;
};

}  // namespace velmora::platform::x11
