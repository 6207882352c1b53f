// SwayWindows against a real headless sway, with imsim's chat windows as Wayland clients.

#include "platform/wayland/SwayWindows.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "HeadlessSway.h"
#include "WaylandImsim.h"
#include "support/Finish.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

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

    std::optional<SwayWindow> ViewOf(pid_t pid) { return SettledView(*ipc_, pid); }
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

    // A tiled window stays in the user's layout: nothing floats it, nothing moves it.
    const auto tiled = Fresh(hb);
    ASSERT_TRUE(tiled);
    const Rect at{100, 100, 500, 400};
    platform::test::Finish(loop_, windows_->SetTopmost(hb, true, at));
    const auto still = Fresh(hb);
    ASSERT_TRUE(still);
    EXPECT_FALSE(still->floating);
    EXPECT_EQ(still->content, tiled->content);

    // A floating one the user moved away is moved back, its content's corner at the
    // rectangle's, and lies above the tiled window there.
    ASSERT_TRUE(ipc_->RunCommand("[con_id=" + std::to_string(hb) +
                                 "] floating enable, resize set 300 200, move position 700 500"));
    platform::test::Finish(loop_, windows_->SetTopmost(hb, true, at));
    ASSERT_TRUE(PollUntil([&] {
        const auto now = Fresh(hb);
        return now && now->floating && now->content.x == 100 && now->content.y == 100;
    })) << "content at "
        << Fresh(hb)->content.x << "," << Fresh(hb)->content.y << " " << Fresh(hb)->content.width
        << "x" << Fresh(hb)->content.height;
    EXPECT_EQ(windows_->WindowFromPoint({300, 250}), hb);
    platform::test::Finish(loop_, windows_->SetTopmost(hb, false, at));
    EXPECT_TRUE(Fresh(hb)->floating) << "a float the user made stays";
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
