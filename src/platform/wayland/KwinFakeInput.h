#pragma once

#include <memory>
#include <string>

#include "platform/IInput.h"

namespace velmora::platform::wayland {

// Synthetic input on KDE Plasma's compositor (KWin): its fake-input device on a connection of
// our own. Each call's event has reached the compositor when the call returns (a bounded round
// trip).
//
// KWin offers fake input only to a program whose installed desktop entry (an
// applications/*.desktop in XDG_DATA_DIRS, not Hidden) has an Exec= whose first word is an
// absolute path resolving to this process's executable and lists org_kde_kwin_fake_input in
// X-KDE-Wayland-Interfaces. A bare program name does not match: KWin resolves it against its
// own working folder, not PATH.
//
// Unlike a virtual keyboard, fake keys go through the compositor's own keymap (the user's
// layout) and the compositor works the modifiers out from them. As with VirtualInput, key and
// button state is only what this object holds, and CursorPos is where we last moved the
// pointer (the middle of the output layout before the first move).
//
// Destroying the object lets go of every key and button it still holds first.
class KwinFakeInput : public IInput {
  public:
    // display: a Wayland socket name or absolute path; empty: WAYLAND_DISPLAY. Throws
    // std::runtime_error, saying why, when there is no compositor there or it does not offer
    // this program fake input.
    explicit KwinFakeInput(const std::string& display = {});
    ~KwinFakeInput() override;
    KwinFakeInput(const KwinFakeInput&) = delete;
    KwinFakeInput& operator=(const KwinFakeInput&) = delete;

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
