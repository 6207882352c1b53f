#include <gtest/gtest.h>

#include <set>

#include <deque>

#include "platform/fake/FakePlatform.h"
#include "target/SnapShotPick.h"

namespace velmora::target {
namespace {

using platform::Point;
using platform::Rect;

// Plays the user at the overlay: each pick either presses at a point or closes the window.
class ScriptedOverlay : public ISnapShotOverlay {
  public:
    explicit ScriptedOverlay(platform::fake::FakePlatform& fp) : fp_(fp) {}
    std::optional<Point> ShowModal(const Rect& cover, const platform::Bitmap& picture) override {
        fp_.log.Add("overlay");
        shownCover = cover;
        shownPicture = picture;
        windowAlive = true;
        auto next = presses.front();
        presses.pop_front();
        return next;
    }
    platform::WinHandle WindowId() override { return windowAlive ? kOverlayId : 0; }
    void DestroyWindow() override {
        fp_.log.Add("destroy");
        windowAlive = false;
    }

    static constexpr platform::WinHandle kOverlayId = 999;
    std::deque<std::optional<Point>> presses;
    Rect shownCover;
    platform::Bitmap shownPicture;
    bool windowAlive = false;

  private:
    platform::fake::FakePlatform& fp_;
};

class SnapShotPickTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fp.windows.windows[10] = {Rect{100, 50, 700, 650}};   // chat window
        fp.windows.windows[11] = {Rect{120, 500, 680, 600}};  // its input box, on top
        fp.loop.logWaits = false;
    }
    platform::fake::FakePlatform fp;
    ScriptedOverlay overlay{fp};
};

TEST_F(SnapShotPickTest, PressFillsTargetFromTheWindowUnderThePoint) {
    overlay.presses = {Point{130, 520}};
    fp.loop.logWaits = true;
    TargetPoint target;
    auto p = fp.platform();
    RunPick(p, overlay, target);
    EXPECT_EQ(target, (TargetPoint{11, 130, 520, 10, 20, 500, 120, 680, 600}));
    // The capture went onto the freshly cleared clipboard and is what the overlay showed.
    EXPECT_EQ(fp.log.Entries(),
              (std::vector<std::string>{"clipboard clear", "capture", "clipboard setimage", "yield",
                                        "overlay", "destroy"}));
    EXPECT_EQ(overlay.shownPicture.width, 4);
    EXPECT_EQ(overlay.shownCover, (Rect{0, 0, 1024, 768}));
    EXPECT_FALSE(fp.clipboard.image.empty());
    EXPECT_EQ(overlay.fields.WinHwnd, 11);
}

TEST_F(SnapShotPickTest, ClosingWithoutPressLeavesTargetAsItWas) {
    overlay.presses = {Point{130, 520}, std::nullopt};
    TargetPoint input, sendButton;
    auto p = fp.platform();
    RunPick(p, overlay, input);
    sendButton.WinHwnd = 77;
    sendButton.ScreenCursorX = 5;
    TargetPoint before = sendButton;
    RunPick(p, overlay, sendButton);
    // The first pick's values stay in the overlay but are not copied into the other target.
    EXPECT_EQ(sendButton, before);
    EXPECT_EQ(overlay.fields.WinHwnd, 11);
    EXPECT_FALSE(overlay.windowAlive);
}

// A window of this program (or a child of one) is refused and the target kept; others, or a
// cancel, say what happened. Only a picked window is watched for its destruction.
TEST_F(SnapShotPickTest, APickOnTheProgramsOwnWindowIsRefused) {
    fp.windows.windows[20] = {.rect = Rect{800, 0, 1000, 300}, .own = true};    // our window
    fp.windows.windows[21] = {.rect = Rect{820, 200, 980, 280}, .parent = 20};  // its send box
    const struct {
        std::optional<Point> press;
        PickOutcome outcome;
        platform::WinHandle target;
    } rows[] = {
        {Point{900, 100}, PickOutcome::OwnWindow, 7},
        {Point{900, 250}, PickOutcome::OwnWindow, 7},
        {std::nullopt, PickOutcome::Cancelled, 7},
        {Point{130, 520}, PickOutcome::Picked, 11},
    };
    auto p = fp.platform();
    for (const auto& r : rows) {
        overlay.presses = {r.press};
        TargetPoint target;
        target.WinHwnd = 7;
        EXPECT_EQ(RunPick(p, overlay, target), r.outcome);
        EXPECT_EQ(target.WinHwnd, r.target);
        EXPECT_FALSE(overlay.windowAlive);
        EXPECT_EQ(fp.windows.watched,
                  (r.outcome == PickOutcome::Picked ? std::set<platform::WinHandle>{11}
                                                    : std::set<platform::WinHandle>{}));
    }
}

// On Wayland the overlay's id is not the compositor's: while its hidden surface still covers
// the point, any window of ours there is waited out, and the chat window beneath is picked.
TEST_F(SnapShotPickTest, TheHiddenOverlayIsWaitedOutWhereItsIdIsNotTheWindowSystems) {
    static constexpr platform::WinHandle kSurface = 50;  // the overlay as the compositor names it
    fp.windows.windows[kSurface] = {.rect = Rect{0, 0, 1024, 768}, .own = true};
    int steps = 0;
    fp.loop.onYield = [&] {
        if (++steps == 5) fp.windows.windows.erase(kSurface);
    };
    overlay.presses = {Point{130, 520}};
    TargetPoint target;
    auto p = fp.platform();
    EXPECT_EQ(RunPick(p, overlay, target), PickOutcome::Picked);
    EXPECT_EQ(target.WinHwnd, 11);
}

TEST_F(SnapShotPickTest, NoWindowAtThePointIsWaitedThroughUntilTheAnswerComes) {
    // A compositor asked right after the overlay's hiding, or too loaded to answer in time,
    // names no window at the point for a while although the chat window is there.
    const auto present = fp.windows.windows;
    fp.windows.windows.clear();
    int steps = 0;
    fp.loop.onYield = [&] {
        if (++steps == 5) fp.windows.windows = present;
    };
    overlay.presses = {Point{130, 520}};
    TargetPoint target;
    auto p = fp.platform();
    EXPECT_EQ(RunPick(p, overlay, target), PickOutcome::Picked);
    EXPECT_EQ(target.WinHwnd, 11);
}

TEST_F(SnapShotPickTest, SecondPickReplacesEveryField) {
    overlay.presses = {Point{130, 520}, Point{300, 100}};
    TargetPoint target;
    auto p = fp.platform();
    RunPick(p, overlay, target);
    RunPick(p, overlay, target);
    EXPECT_EQ(target, (TargetPoint{10, 300, 100, 200, 50, 50, 100, 700, 650}));
}

TEST_F(SnapShotPickTest, APointOverNoWindowIsRefusedAndTheTargetKept) {
    // A target without a window would be skipped by every send and copy.
    overlay.presses = {Point{900, 700}};
    const TargetPoint before{5, 1, 2, 3, 4, 5, 6, 7, 8};
    TargetPoint target = before;
    auto p = fp.platform();
    EXPECT_EQ(RunPick(p, overlay, target), PickOutcome::NoWindow);
    EXPECT_EQ(target, before);
    EXPECT_TRUE(fp.windows.watched.empty());
    EXPECT_FALSE(overlay.windowAlive);
}

TEST_F(SnapShotPickTest, WaitsUntilTheHiddenOverlayNoLongerCoversThePoint) {
    // The overlay is still mapped for a few steps after its hide reaches the server.
    fp.windows.windows[ScriptedOverlay::kOverlayId] = {Rect{0, 0, 1024, 768}};
    int steps = 0;
    fp.loop.onYield = [&] {
        if (++steps == 5) fp.windows.windows.erase(ScriptedOverlay::kOverlayId);
    };
    overlay.presses = {Point{130, 520}};
    TargetPoint target;
    auto p = fp.platform();
    RunPick(p, overlay, target);
    EXPECT_EQ(target.WinHwnd, 11);
}

TEST_F(SnapShotPickTest, OverlayThatNeverGoesAwayEndsTheWaitInBoundedTime) {
    fp.windows.windows[ScriptedOverlay::kOverlayId] = {Rect{0, 0, 1024, 768}};
    overlay.presses = {Point{130, 520}};
    TargetPoint target;
    auto p = fp.platform();
    std::int64_t start = fp.clock.NowMs();
    RunPick(p, overlay, target);
    EXPECT_LE(fp.clock.NowMs() - start, 2000);
    EXPECT_EQ(target.WinHwnd, ScriptedOverlay::kOverlayId);
}

}  // namespace
}  // namespace velmora::target
