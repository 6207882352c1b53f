#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "platform/IInput.h"
#include "platform/wayland/PortalRemoteDesktop.h"

namespace velmora::platform::wayland {

// The X keysym the portal's keyboard sends for a virtual-key code; nullopt for a code with no
// keysym here. Letters are sent lower-case: a keysym reaches the window only when the user's
// layout has it, so text goes by the clipboard and only shortcuts and editing keys are typed.
std::optional<std::uint32_t> KeysymForVirtualKey(std::uint8_t vk);

// Synthetic input through the portal's remote-desktop session (GNOME on Wayland). Positions are
// the desktop layout's; the pointer moves in the stream's monitor, so points outside it are not
// reached (MoveCursor does nothing for them).
//
// As on other Wayland desktops, nobody tells us the user's keys, buttons or pointer: the
// key and button state is what this object holds down, and CursorPos is where it last moved
// the pointer (the monitor's middle before the first move). Destroying it lets go of
// everything it holds.
class PortalInput : public IInput {
  public:
    explicit PortalInput(PortalRemoteDesktop& session);
    ~PortalInput() override;
    PortalInput(const PortalInput&) = delete;
    PortalInput& operator=(const PortalInput&) = delete;

    // Whether the session is granted; Reason says why not.
    bool Available() const { return session_.Started(); }
    const std::string& Reason() const { return session_.Reason(); }

    void MoveCursor(std::int32_t x, std::int32_t y) override;
    Point CursorPos() override { return cursor_; }
    void LeftDown() override;
    void LeftUp() override;
    void KeyDown(std::uint8_t vk) override;
    void KeyUp(std::uint8_t vk) override;
    bool AnyKeyDown() override { return !keys_.empty(); }
    bool IsKeyDown(std::uint8_t vk) override { return keys_.count(vk) > 0; }
    bool AnyButtonDown() override { return buttonDown_; }

  private:
    PortalRemoteDesktop& session_;
    Point cursor_;
    std::set<std::uint8_t> keys_;
    bool buttonDown_ = false;
};

}  // namespace velmora::platform::wayland
