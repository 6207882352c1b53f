#pragma once

#include <cstdint>

namespace velmora::target {

// A picked place in another program's window: the point and the window under it at pick time.
// Field order is part of the contract (WinTop before WinLeft).
struct TargetPoint {
    std::int32_t WinHwnd = 0;  // 0: not set
    std::int32_t ScreenCursorX = 0;
    std::int32_t ScreenCursorY = 0;
    std::int32_t ClientCursorX = 0;
    std::int32_t ClientCursorY = 0;
    std::int32_t WinTop = 0;
    std::int32_t WinLeft = 0;
    std::int32_t WinRight = 0;   // exclusive
    std::int32_t WinButtom = 0;  // exclusive
    bool operator==(const TargetPoint&) const = default;
};

}  // namespace velmora::target
