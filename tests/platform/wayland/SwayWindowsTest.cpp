// SwayWindows against a real headless sway, with imsim's chat windows as Wayland clients.

#include "platform/wayland/SwayWindows.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "HeadlessSway.h"
#include "WaylandImsim.h"
#include "support/Finish.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

// Generous for a loaded machine: a Qt window's first frame under stress takes seconds.
constexpr int kAppearMs = 20000;

class SwayWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sway_.WaitReady()) << sway_.Log();
        ipc_ = std::make_unique<SwayIpc>(sway_.SwaySock());
        windows_ = std::make_unique<SwayWindows>(*ipc_, loop_);
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "sway's log:\n" << sway_.Log();
    }

    // The view of a program once it has mapped a window and sway has settled its place: a new
    // view gets its title bar a layout pass after it first shows, so the same view must be
    // read three times in a row, 100 ms apart.
    std::optional<SwayWindow> ViewOf(pid_t pid) {
        std::optional<SwayWindow> last;
        int same = 0;
        const bool settled = PollUntil(
            [&] {
                std::optional<SwayWindow> now;
                if (const auto views = ipc_->GetTree())
                    for (const SwayWindow& v : *views)
                        if (v.pid == pid && v.content.width > 0 && !v.name.empty()) now = v;
                same = now && now == last ? same + 1 : 0;
                last = now;
                return same >= 2;
            },
            kAppearMs, 100);
        return settled ? last : std::nullopt;
    }
    std::optional<SwayWindow> Fresh(long long id) {
        if (const auto views = ipc_->GetTree())
            for (const SwayWindow& v : *views)
                if (v.id == id) return v;
        return std::nullopt;
    }
    static Point Centre(const Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

    HeadlessSway sway_;
    TempDir clients_;
    SleepLoop loop_;
    std::unique_ptr<SwayIpc> ipc_;
    std::unique_ptr<SwayWindows> windows_;
};

TEST_F(SwayWindowsTest, FindsAChatWindowAndItsRectangle) {
    WaylandImsim chat(sway_, clients_, "Alice");
    const auto view = ViewOf(chat.pid());
    ASSERT_TRUE(view) << "imsim's window never appeared";
    EXPECT_EQ(view->appId, "imsim");
    EXPECT_NE(view->name.find("Alice"), std::string::npos) << view->name;
    const auto h = static_cast<WinHandle>(view->id);

    EXPECT_TRUE(windows_->IsWindow(h));
    EXPECT_FALSE(windows_->IsOwnWindow(h));
    EXPECT_TRUE(windows_->IsInside(h, h));
    EXPECT_FALSE(windows_->IsInside(h, h + 1));

    const auto rect = windows_->GetWindowRect(h);
    ASSERT_TRUE(rect);
    const SwayRect& c = view->content;
    EXPECT_EQ(*rect, (Rect{c.x, c.y, c.x + c.width, c.y + c.height}));
    // The one tiled window fills most of the 1280x800 output, in screen coordinates.
    EXPECT_GE(rect->left, 0);
    EXPECT_GE(rect->top, 0);
    EXPECT_LE(rect->right, 1280);
    EXPECT_LE(rect->bottom, 800);
    EXPECT_GT(rect->right - rect->left, 1000);
    EXPECT_GT(rect->bottom - rect->top, 600);

    EXPECT_EQ(windows_->WindowFromPoint(Centre(*rect)), h);
    EXPECT_EQ(windows_->WindowFromPoint({2000, 2000}), 0);
    EXPECT_EQ(windows_->ScreenToClient(h, {rect->left + 5, rect->top + 7}), (Point{5, 7}));
    EXPECT_EQ(windows_->FocusedWindow(), h);
    EXPECT_FALSE(windows_->IsIconic(h));
}

TEST_F(SwayWindowsTest, BringsAWindowBackToTheFrontAndFloatsOneAbove) {
    WaylandImsim first(sway_, clients_, "Alice");
    const auto a = ViewOf(first.pid());
    ASSERT_TRUE(a);
    WaylandImsim second(sway_, clients_, "Carol");
    const auto b = ViewOf(second.pid());
    ASSERT_TRUE(b);
    const auto ha = static_cast<WinHandle>(a->id);
    const auto hb = static_cast<WinHandle>(b->id);

    // Sway focuses a new window: the second took the focus from the first.
    ASSERT_TRUE(PollUntil([&] { return windows_->FocusedWindow() == hb; }, kAppearMs));
    // Side by side now: each centre belongs to its own window.
    ASSERT_TRUE(PollUntil(
        [&] {
            const auto ra = windows_->GetWindowRect(ha);
            const auto rb = windows_->GetWindowRect(hb);
            return ra && rb && windows_->WindowFromPoint(Centre(*ra)) == ha &&
                   windows_->WindowFromPoint(Centre(*rb)) == hb;
        },
        kAppearMs));

    EXPECT_TRUE(platform::test::Finish(loop_, windows_->SetForegroundWindow(ha)));
    EXPECT_EQ(windows_->FocusedWindow(), ha);

    // Floated above the focused tiled window: the point is the floating one's.
    const Rect at{100, 100, 500, 400};
    platform::test::Finish(loop_, windows_->SetTopmost(hb, true, at));
    ASSERT_TRUE(PollUntil([&] {
        const auto now = Fresh(hb);
        return now && now->floating && now->frame.Contains(300, 250);
    }));
    EXPECT_EQ(windows_->WindowFromPoint({300, 250}), hb);
    platform::test::Finish(loop_, windows_->SetTopmost(hb, false, at));
    EXPECT_TRUE(PollUntil([&] {
        const auto now = Fresh(hb);
        return now && !now->floating;
    }));
}

TEST_F(SwayWindowsTest, AClosedWindowIsNoLongerAWindow) {
    WaylandImsim chat(sway_, clients_, "Alice");
    const auto view = ViewOf(chat.pid());
    ASSERT_TRUE(view);
    const auto h = static_cast<WinHandle>(view->id);
    windows_->Watch(h);
    ASSERT_TRUE(windows_->IsWindow(h));

    chat.Close();
    ASSERT_TRUE(PollUntil([&] { return !windows_->IsWindow(h); }, kAppearMs));
    EXPECT_FALSE(windows_->GetWindowRect(h));
    EXPECT_FALSE(platform::test::Finish(loop_, windows_->SetForegroundWindow(h)));
    EXPECT_EQ(windows_->FocusedWindow(), 0);

    // A window opened after it is another one.
    WaylandImsim next(sway_, clients_, "Carol");
    const auto other = ViewOf(next.pid());
    ASSERT_TRUE(other);
    EXPECT_NE(other->id, view->id);
    EXPECT_FALSE(windows_->IsWindow(h));
}

}  // namespace
}  // namespace velmora::platform::wayland
