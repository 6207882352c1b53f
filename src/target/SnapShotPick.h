#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/Platform.h"
#include "target/TargetPoint.h"

namespace velmora::target {

// The overlay's result of its last click, in the overlay's own field order. All 0 until the
// first click; kept from one pick to the next.
struct SnapShotFields {
    std::int32_t ScreenCursorX = 0;
    std::int32_t ScreenCursorY = 0;
    std::int32_t ClientCursorX = 0;
    std::int32_t ClientCursorY = 0;
    std::int32_t WinHwnd = 0;
    std::int32_t WinLeft = 0;
    std::int32_t WinTop = 0;
    std::int32_t WinRight = 0;
    std::int32_t WinButtom = 0;
};

// The frozen-screen window the user clicks. The object outlives its windows: one window per
// pick, created by ShowModal and destroyed by DestroyWindow.
class ISnapShotOverlay {
  public:
    // An overlay owns its window: never copied.
    ISnapShotOverlay() = default;
    ISnapShotOverlay(const ISnapShotOverlay&) = delete;
    ISnapShotOverlay& operator=(const ISnapShotOverlay&) = delete;
    virtual ~ISnapShotOverlay() = default;
    // Creates the window (frameless, topmost, at cover, cross cursor) showing picture unscaled
    // from its top-left corner (an empty picture: plain background), and waits modally. A press
    // of any button hides the window and returns the pressed client point; closing it without
    // a press returns nothing. Cover, picture and point are in device pixels, whatever scale
    // the toolkit applies.
    virtual std::optional<platform::Point> ShowModal(const platform::Rect& cover,
                                                     const platform::Bitmap& picture) = 0;
    // The window as the window port names it, 0 when there is none.
    virtual platform::WinHandle WindowId() = 0;
    virtual void DestroyWindow() = 0;
    SnapShotFields fields;
};

// The press handler's work after the overlay is hidden: the real window at (x, y), its
// rectangle and the point in its client coordinates. A failed rectangle stays zeros; a failed
// conversion leaves the client point equal to the screen point.
void FillFromPoint(platform::IWindows& windows, SnapShotFields& f, std::int32_t x, std::int32_t y);

// Copies all nine fields into the target, in the target's order.
void CopyToTarget(const SnapShotFields& f, TargetPoint& target);

// Shown when a pick lands on one of the program's own windows: typing into it would feed the
// program its own output.
inline constexpr std::u16string_view kPickOwnWindow = u"不能选择本程序自己的窗口，请重新设置";

// Shown when no window could be found at the picked point: a target without a window would be
// skipped by every send and copy, silently.
inline constexpr std::u16string_view kPickNoWindow = u"没有找到所选位置的窗口，请重新设置";

enum class PickOutcome { Cancelled, Picked, OwnWindow, NoWindow };

// One pick: clear the clipboard, capture the screen onto it, yield, show the overlay with the
// capture, and on a press fill the overlay's fields from the real desktop and copy them into
// target. Closed without a press, pressed on a window of this program or where no window is
// found, target is left as it was.
PickOutcome RunPick(platform::Platform& p, ISnapShotOverlay& overlay, TargetPoint& target);

}  // namespace velmora::target
