#pragma once

#include <memory>
#include <string>

#include "platform/IInput.h"

namespace velmora::platform::wayland {

// Synthetic input on a wlroots compositor (sway): a virtual keyboard and a virtual pointer of
// our own on a connection of our own. Each call's event has reached the compositor when the
// call returns (a bounded round trip).
//
// What Wayland does not tell a client: no other device's key or button state, and not where
// the pointer is; sway's IPC does not either (its seats and inputs list devices, no cursor
// and no key state). So IsKeyDown, AnyKeyDown and AnyButtonDown report only what this object
// holds down, not the user's keyboard or mouse, and CursorPos is where we last moved the
// pointer (the middle of the output layout before the first move), even if the user has moved
// it since.
//
// Keys are sent on a US keymap uploaded with the keyboard, whatever the user's layout: a
// virtual keyboard brings its own keymap, and the compositor switches the focused window to
// it while our keys arrive. The layout's extent comes from the outputs' current modes, scales
// and transforms; a fractionally scaled output is measured at its whole-number wl_output
// scale, so positions on it are off by that rounding.
//
// Destroying the object lets go of every key and button it still holds first.
class VirtualInput : public IInput {
  public:
    // display: a Wayland socket name or absolute path; empty: WAYLAND_DISPLAY. Throws
    // std::runtime_error when there is no compositor there or it offers neither a virtual
    // keyboard nor a virtual pointer. With one of the two only, the other's calls do nothing.
    explicit VirtualInput(const std::string& display = {});
    ~VirtualInput() override;
    VirtualInput(const VirtualInput&) = delete;
    VirtualInput& operator=(const VirtualInput&) = delete;

    void MoveCursor(std::int32_t x, std::int32_t y) override;
    Point CursorPos() override;
    void LeftDown() override;
    void LeftUp() override;
    void KeyDown(std::uint8_t vk) override;
    // A key this object does not hold has nothing to let go: no event.
    void KeyUp(std::uint8_t vk) override;
    bool AnyKeyDown() override;
    bool IsKeyDown(std::uint8_t vk) override;
    bool AnyButtonDown() override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora::platform::wayland
