#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace velmora::platform {

// Synthetic input: one call, one event. Key codes are Windows virtual-key codes; a backend maps
// them to its own key names and silently produces nothing for a code it cannot map.
class IInput {
  public:
    virtual ~IInput() = default;
    virtual void MoveCursor(std::int32_t x, std::int32_t y) = 0;  // SetCursorPos
    virtual Point CursorPos() = 0;                                // GetCursorPos
    virtual void LeftDown() = 0;
    virtual void LeftUp() = 0;
    virtual void KeyDown(std::uint8_t vk) = 0;
    virtual void KeyUp(std::uint8_t vk) = 0;
    // Whether any key of the keyboard is held down now (by the user or by us).
    virtual bool AnyKeyDown() = 0;
    // Whether the key is down now as the system sees it. A key pressed here can be let go
    // under us: Wine releases the modifiers it holds when one of its windows gains the X focus.
    virtual bool IsKeyDown(std::uint8_t vk) = 0;
    // Whether a mouse button still counts as down as the system sees it. A window manager that
    // grabs clicks holds their release back until it lets them through, and keys sent meanwhile
    // reach the window before the click does.
    virtual bool AnyButtonDown() = 0;
};

}  // namespace velmora::platform
