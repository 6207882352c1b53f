#include "relay/TargetCheck.h"

namespace velmora::relay {

namespace {
// The window manager moves and raises in its own time; beyond this it is not coming.
constexpr int kPlacementBoundMs = 1000;
}  // namespace

platform::Task<bool> AwaitPointReaches(platform::Platform& p, platform::WinHandle window,
                                       platform::Point point) {
    if (window == 0) co_return false;
    co_return co_await platform::Until(
        p.loop,
        [&p, window, point] {
            return p.windows.IsInside(p.windows.WindowFromPoint(point), window);
        },
        kPlacementBoundMs);
}

platform::Task<bool> AwaitReadyToInject(platform::Platform& p, platform::WinHandle activate,
                                        Aim aim) {
    // A plain statement: GCC 12 drops a co_await inside an if's condition.
    const bool active = co_await p.windows.SetForegroundWindow(activate);
    if (!active) co_return false;
    co_return co_await AwaitPointReaches(p, aim.window, aim.point);
}

}  // namespace velmora::relay
