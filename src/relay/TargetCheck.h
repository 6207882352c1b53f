#pragma once

#include <string_view>

#include "platform/Async.h"
#include "platform/Platform.h"

namespace velmora::relay {

// Shown when a picked window is gone, covered or would not take the focus; nothing was clicked
// or pressed into it.
inline constexpr std::u16string_view kTargetLost = u"目标窗口已关闭或被遮挡，请重新设置";

// Whether a click at `point` would reach `window`: the window under the point is that window or
// lies inside it. The job suspends on the loop, bounded, while the window manager is still
// placing or raising it.
platform::Task<bool> AwaitPointReaches(platform::Platform& p, platform::WinHandle window,
                                       platform::Point point);

// Activates `window` and checks that the point reaches its window. Run after the restore and
// the topmost placement, before the first click or key of a sequence.
struct Aim {
    platform::WinHandle window;
    platform::Point point;
};
platform::Task<bool> AwaitReadyToInject(platform::Platform& p, platform::WinHandle activate,
                                        Aim aim);

}  // namespace velmora::relay
