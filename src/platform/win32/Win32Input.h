#pragma once

#include "platform/IInput.h"

namespace velmora::platform::win32 {

// Synthetic input through SendInput: one event per call, at the cursor's current place.
class Win32Input : public IInput {
  public:
    void MoveCursor(std::int32_t x, std::int32_t y) override;
    Point CursorPos() override;
    void LeftDown() override;
    void LeftUp() override;
    void KeyDown(std::uint8_t vk) override;
    void KeyUp(std::uint8_t vk) override;
    bool AnyKeyDown() override;
    bool IsKeyDown(std::uint8_t vk) override;
    bool AnyButtonDown() override;
};

}  // namespace velmora::platform::win32
