#include "target/SnapShotPick.h"

namespace velmora::target {

namespace {
// How long a hidden overlay may still stand over the point before we read the window there.
constexpr int kUncoverMs = 1000;
constexpr int kUncoverTries = 100;  // the bound too where the clock does not move while we wait
constexpr int kUncoverStepMs = 10;
}  // namespace

void FillFromPoint(platform::IWindows& windows, SnapShotFields& f, std::int32_t x, std::int32_t y) {
    f.WinHwnd = windows.WindowFromPoint({x, y});
    platform::Rect r = windows.GetWindowRect(f.WinHwnd).value_or(platform::Rect{});
    f.WinLeft = r.left;
    f.WinTop = r.top;
    f.WinRight = r.right;
    f.WinButtom = r.bottom;
    f.ScreenCursorX = x;
    f.ScreenCursorY = y;
    platform::Point c = windows.ScreenToClient(f.WinHwnd, {x, y}).value_or(platform::Point{x, y});
    f.ClientCursorX = c.x;
    f.ClientCursorY = c.y;
}

void CopyToTarget(const SnapShotFields& f, TargetPoint& target) {
    target.WinHwnd = f.WinHwnd;
    target.ScreenCursorX = f.ScreenCursorX;
    target.ScreenCursorY = f.ScreenCursorY;
    target.ClientCursorX = f.ClientCursorX;
    target.ClientCursorY = f.ClientCursorY;
    target.WinTop = f.WinTop;
    target.WinLeft = f.WinLeft;
    target.WinRight = f.WinRight;
    target.WinButtom = f.WinButtom;
}

PickOutcome RunPick(platform::Platform& p, ISnapShotOverlay& overlay, TargetPoint& target) {
    p.clipboard.Clear();
    // Stands for the Print Screen key: the capture is on the clipboard when this returns.
    p.screen.CaptureToClipboard();
    p.loop.Yield();
    platform::Rect cover = p.screen.VirtualScreen();
    platform::Bitmap picture = p.clipboard.Image();
    std::optional<platform::Point> press = overlay.ShowModal(cover, picture);
    if (press) {
        // The overlay's client area starts at the desktop's corner, so client points are
        // screen points (offset only when the desktop does not start at 0, 0).
        platform::Point screen{press->x + cover.left, press->y + cover.top};
        // Another process's window is wanted, not ours: make sure the hidden overlay is gone
        // from the server's view before asking what lies at the point. Where the overlay's id
        // is not the window system's (Wayland) any window of ours at the point may be it.
        // No window at all is waited through too: where the compositor is asked (Wayland), its
        // answer lags the overlay's hiding, and a loaded one may not answer in time.
        const platform::WinHandle mine = overlay.WindowId();
        const std::int64_t until = p.clock.NowMs() + kUncoverMs;
        for (int i = 0; i < kUncoverTries; ++i) {
            const platform::WinHandle at = p.windows.WindowFromPoint(screen);
            if (at != 0 && at != mine && !p.windows.IsOwnWindow(at)) break;
            if (p.clock.NowMs() >= until) break;
            p.loop.Wait(kUncoverStepMs);
        }
        FillFromPoint(p.windows, overlay.fields, screen.x, screen.y);
        const PickOutcome outcome = overlay.fields.WinHwnd == 0 ? PickOutcome::NoWindow
                                    : p.windows.IsOwnWindow(overlay.fields.WinHwnd)
                                        ? PickOutcome::OwnWindow
                                        : PickOutcome::Picked;
        if (outcome == PickOutcome::Picked) {
            CopyToTarget(overlay.fields, target);
            p.windows.Watch(target.WinHwnd);
        }
        overlay.DestroyWindow();
        return outcome;
    }
    overlay.DestroyWindow();
    return PickOutcome::Cancelled;
}

}  // namespace velmora::target
