// The screencopy screen against a real headless sway, with an imsim window painted in one
// colour at a place sway's IPC tells.

#include "platform/wayland/ScreencopyScreen.h"

#include <gtest/gtest.h>

#include <QImage>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "HeadlessSway.h"
#include "WaylandImsim.h"
#include "WlClipboardTools.h"
#include "platform/wayland/DataControlClipboard.h"
#include "platform/wayland/SwayWindows.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr std::uint32_t kFill = 0xFF3366CCu;
constexpr std::uint32_t kOther = 0xFFCC6633u;

std::uint32_t At(const Bitmap& b, int x, int y) {
    if (x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
    return b.pixels[static_cast<size_t>(y) * b.width + x];
}

class ScreencopyScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sway_.WaitReady()) << sway_.Log();
        ipc_ = std::make_unique<SwayIpc>(sway_.SwaySock());
        windows_ = std::make_unique<SwayWindows>(*ipc_, loop_);
        DataControlClipboard::Options o;
        o.display = sway_.WaylandDisplay();
        clip_ = std::make_unique<DataControlClipboard>(loop_, o);
        ScreencopyScreen::Options so;
        so.display = sway_.WaylandDisplay();
        screen_ = std::make_unique<ScreencopyScreen>(*clip_, so);
        ASSERT_TRUE(screen_->Available());
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "sway's log:\n" << sway_.Log();
    }

    // An imsim window once sway has settled it (the same rectangle three reads in a row, all
    // on the screen): its handle and rectangle.
    std::optional<std::pair<WinHandle, Rect>> SettledWindow(const WaylandImsim& chat,
                                                            Rect screen = {0, 0, 1280, 800}) {
        std::optional<std::pair<WinHandle, Rect>> last;
        int same = 0;
        const bool settled = PollUntil(
            [&] {
                std::optional<std::pair<WinHandle, Rect>> now;
                if (const auto views = ipc_->GetTree())
                    for (const SwayWindow& v : *views)
                        if (v.pid == chat.pid() && v.content.width > 0) {
                            const auto h = static_cast<WinHandle>(v.id);
                            if (const auto r = windows_->GetWindowRect(h)) now.emplace(h, *r);
                        }
                if (now && (now->second.left < screen.left || now->second.top < screen.top ||
                            now->second.right > screen.right || now->second.bottom > screen.bottom))
                    now.reset();
                same = now && now == last ? same + 1 : 0;
                last = now;
                return same >= 2;
            },
            kAppearMs, 100);
        return settled ? last : std::nullopt;
    }

    struct Painted {
        WinHandle handle;
        Rect rect;
        std::uint32_t colour;
    };
    // A capture once imsim has painted each window whole at its place: its colour in its
    // middle and just inside its left, right and bottom edges, and no window moved meanwhile.
    Bitmap PaintedCapture(const std::vector<Painted>& windows) {
        Bitmap shot;
        PollUntil(
            [&] {
                shot = screen_->Capture();
                for (const Painted& w : windows) {
                    const Rect& r = w.rect;
                    const int cx = (r.left + r.right) / 2;
                    const int cy = (r.top + r.bottom) / 2;
                    if (windows_->GetWindowRect(w.handle) != r || At(shot, cx, cy) != w.colour ||
                        At(shot, r.left + 4, cy) != w.colour ||
                        At(shot, r.right - 5, cy) != w.colour ||
                        At(shot, cx, r.bottom - 5) != w.colour)
                        return false;
                }
                return true;
            },
            kAppearMs, 100);
        return shot;
    }

    HeadlessSway sway_;
    TempDir runtime_;
    SleepLoop loop_;
    std::unique_ptr<SwayIpc> ipc_;
    std::unique_ptr<SwayWindows> windows_;
    std::unique_ptr<DataControlClipboard> clip_;
    std::unique_ptr<ScreencopyScreen> screen_;
};

TEST_F(ScreencopyScreenTest, CapturesTheOutputWithTheWindowsWhereSwayPutsThem) {
    EXPECT_EQ(screen_->VirtualScreen(), (Rect{0, 0, 1280, 800}));
    // Two windows side by side, each in a colour of its own, under sway's title bars.
    WaylandImsim first(sway_, runtime_, "Alice", {"--fill", "3366cc"});
    ASSERT_TRUE(SettledWindow(first));
    WaylandImsim second(sway_, runtime_, "Carol", {"--fill", "cc6633"});
    std::optional<std::pair<WinHandle, Rect>> a, b;
    ASSERT_TRUE(PollUntil(
        [&] {
            a = SettledWindow(first);
            b = SettledWindow(second);
            return a && b && a->second.right <= b->second.left;
        },
        kAppearMs, 100))
        << "the windows never settled side by side";
    const Bitmap shot =
        PaintedCapture({{a->first, a->second, kFill}, {b->first, b->second, kOther}});
    EXPECT_EQ(shot.width, 1280);
    EXPECT_EQ(shot.height, 800);
    for (const auto& [w, colour] : {std::pair{a->second, kFill}, std::pair{b->second, kOther}}) {
        const int cx = (w.left + w.right) / 2;
        const int cy = (w.top + w.bottom) / 2;
        SCOPED_TRACE(std::to_string(w.left) + "," + std::to_string(w.top) + " " +
                     std::to_string(w.right) + "," + std::to_string(w.bottom));
        // Inside: its colour (PaintedCapture waited for that); just outside: not. The picture
        // is upright, unshifted and in the right channel order.
        EXPECT_EQ(At(shot, cx, cy), colour);
        EXPECT_EQ(At(shot, w.left + 4, cy), colour);
        EXPECT_EQ(At(shot, w.right - 5, cy), colour);
        EXPECT_EQ(At(shot, cx, w.bottom - 5), colour);
        EXPECT_NE(At(shot, cx, w.top - 3), colour);  // the title bar
        EXPECT_NE(At(shot, w.left - 3, cy), colour);
        EXPECT_NE(At(shot, w.right + 2, cy), colour);
    }
}

// A second output, lower and to the right: the layout spans both, each output's picture at
// its place, black where no output is.
TEST_F(ScreencopyScreenTest, PlacesASecondOutputWhereTheLayoutHasIt) {
    ASSERT_TRUE(ipc_->RunCommand("create_output"));
    ASSERT_TRUE(ipc_->RunCommand("output HEADLESS-2 resolution 640x480 position 1280 400"));
    const Rect layout{0, 0, 1920, 880};
    ASSERT_TRUE(PollUntil([&] { return screen_->VirtualScreen() == layout; }, kAppearMs, 100))
        << "layout " << screen_->VirtualScreen().right << "x" << screen_->VirtualScreen().bottom;
    ASSERT_TRUE(ipc_->RunCommand("focus output HEADLESS-2"));
    WaylandImsim chat(sway_, runtime_, "Alice", {"--fill", "3366cc"});
    const auto w = SettledWindow(chat, layout);
    ASSERT_TRUE(w);
    const Rect& r = w->second;
    EXPECT_GE(r.left, 1280);
    EXPECT_GE(r.top, 400);
    const Bitmap shot = PaintedCapture({{w->first, r, kFill}});
    EXPECT_EQ(shot.width, 1920);
    EXPECT_EQ(shot.height, 880);
    const int cx = (r.left + r.right) / 2;
    const int cy = (r.top + r.bottom) / 2;
    EXPECT_EQ(At(shot, cx, cy), kFill);
    EXPECT_EQ(At(shot, r.left + 4, cy), kFill);
    EXPECT_NE(At(shot, cx, r.top - 3), kFill);
    EXPECT_EQ(At(shot, 1600, 200), 0xFF000000u);  // above the second output: no output there
    EXPECT_EQ(At(shot, 640, 840), 0xFF000000u);   // below the first
}

TEST_F(ScreencopyScreenTest, PutsThePictureOnTheClipboard) {
    WaylandImsim chat(sway_, runtime_, "Alice", {"--fill", "3366cc"});
    const auto w = SettledWindow(chat);
    ASSERT_TRUE(w);
    const Rect& r = w->second;
    const int cx = (r.left + r.right) / 2;
    const int cy = (r.top + r.bottom) / 2;
    ASSERT_EQ(At(PaintedCapture({{w->first, r, kFill}}), cx, cy), kFill);

    screen_->CaptureToClipboard();
    const ToolRun run =
        RunTool(sway_, runtime_, {"wl-paste", "--no-newline", "--type", "image/png"});
    ASSERT_EQ(run.status, 0);
    const QImage pasted = QImage::fromData(QByteArray::fromStdString(run.out), "PNG");
    ASSERT_EQ(pasted.width(), 1280);
    ASSERT_EQ(pasted.height(), 800);
    EXPECT_EQ(pasted.pixel(cx, cy), kFill);
    EXPECT_NE(pasted.pixel(cx, r.top - 3), kFill);

    // Without a compositor there is no picture, and the clipboard keeps what it had.
    ASSERT_TRUE(clip_->SetText(u"kept"));
    ScreencopyScreen::Options nowhere;
    nowhere.display = (runtime_.path() / "no-such-display").string();
    ScreencopyScreen none(*clip_, nowhere);
    EXPECT_FALSE(none.Available());
    EXPECT_TRUE(none.Capture().empty());
    none.CaptureToClipboard();
    EXPECT_EQ(clip_->Text(), u"kept");
}

}  // namespace
}  // namespace velmora::platform::wayland
