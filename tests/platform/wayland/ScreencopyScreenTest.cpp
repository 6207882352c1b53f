// The screencopy screen against a real headless sway, with an imsim window painted in one
// colour at a place sway's IPC tells.

#include "platform/wayland/ScreencopyScreen.h"

#include <gtest/gtest.h>

#include <QImage>

#include <memory>
#include <optional>
#include <string>

#include "HeadlessSway.h"
#include "WaylandImsim.h"
#include "WlClipboardTools.h"
#include "platform/wayland/DataControlClipboard.h"
#include "platform/wayland/SwayWindows.h"
#include "support/Finish.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr int kAppearMs = 20000;
constexpr std::uint32_t kFill = 0xFF3366CCu;

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

    // The imsim window floated at a place of the test's choice, once sway has settled it and
    // imsim has painted it: its rectangle on the screen.
    std::optional<Rect> FloatingWindow(const WaylandImsim& chat) {
        WinHandle h = 0;
        if (!PollUntil(
                [&] {
                    if (const auto views = ipc_->GetTree())
                        for (const SwayWindow& v : *views)
                            if (v.pid == chat.pid() && v.content.width > 0)
                                h = static_cast<WinHandle>(v.id);
                    return h != 0;
                },
                kAppearMs, 50))
            return std::nullopt;
        platform::test::Finish(loop_, windows_->SetTopmost(h, true, Rect{200, 150, 700, 550}));
        std::optional<Rect> last;
        int same = 0;
        PollUntil(
            [&] {
                const auto now = windows_->GetWindowRect(h);
                same = now && now == last ? same + 1 : 0;
                last = now;
                return same >= 2;
            },
            kAppearMs, 100);
        return last;
    }

    HeadlessSway sway_;
    TempDir runtime_;
    SleepLoop loop_;
    std::unique_ptr<SwayIpc> ipc_;
    std::unique_ptr<SwayWindows> windows_;
    std::unique_ptr<DataControlClipboard> clip_;
    std::unique_ptr<ScreencopyScreen> screen_;
};

TEST_F(ScreencopyScreenTest, CapturesTheOutputWithAWindowWhereSwayPutsIt) {
    EXPECT_EQ(screen_->VirtualScreen(), (Rect{0, 0, 1280, 800}));
    WaylandImsim chat(sway_, runtime_, "Alice", {"--fill", "3366cc"});
    const auto r = FloatingWindow(chat);
    ASSERT_TRUE(r) << "imsim's window never settled";
    const int cx = (r->left + r->right) / 2;
    const int cy = (r->top + r->bottom) / 2;

    Bitmap shot;
    ASSERT_TRUE(PollUntil(
        [&] {
            shot = screen_->Capture();
            return At(shot, cx, cy) == kFill;
        },
        kAppearMs, 100))
        << "centre " << std::hex << At(shot, cx, cy) << " in " << std::dec << shot.width << "x"
        << shot.height;
    EXPECT_EQ(shot.width, 1280);
    EXPECT_EQ(shot.height, 800);
    // The window's edges inside are its colour, the pixels just outside are not: the picture is
    // upright, unshifted and in the right channel order.
    EXPECT_EQ(At(shot, r->left + 4, cy), kFill);
    EXPECT_EQ(At(shot, r->right - 5, cy), kFill);
    EXPECT_EQ(At(shot, cx, r->bottom - 5), kFill);
    EXPECT_NE(At(shot, r->left - 3, cy), kFill);
    EXPECT_NE(At(shot, r->right + 2, cy), kFill);
    EXPECT_NE(At(shot, cx, r->bottom + 2), kFill);
    EXPECT_NE(At(shot, cx, r->top - 3), kFill);
    EXPECT_NE(At(shot, 20, 780), kFill);
}

TEST_F(ScreencopyScreenTest, PutsThePictureOnTheClipboard) {
    WaylandImsim chat(sway_, runtime_, "Alice", {"--fill", "3366cc"});
    const auto r = FloatingWindow(chat);
    ASSERT_TRUE(r);
    const int cx = (r->left + r->right) / 2;
    const int cy = (r->top + r->bottom) / 2;
    ASSERT_TRUE(PollUntil([&] { return At(screen_->Capture(), cx, cy) == kFill; }, kAppearMs, 100));

    screen_->CaptureToClipboard();
    const ToolRun run =
        RunTool(sway_, runtime_, {"wl-paste", "--no-newline", "--type", "image/png"});
    ASSERT_EQ(run.status, 0);
    const QImage pasted = QImage::fromData(QByteArray::fromStdString(run.out), "PNG");
    ASSERT_EQ(pasted.width(), 1280);
    ASSERT_EQ(pasted.height(), 800);
    EXPECT_EQ(pasted.pixel(cx, cy), kFill);
    EXPECT_NE(pasted.pixel(cx, r->top - 3), kFill);

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
