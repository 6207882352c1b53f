// The KWin screen against a real headless KWin: ScreenShot2 granted by a desktop entry naming
// this test's executable, an imsim window painted in one colour where KWin's scripts say it is.

#include "platform/wayland/KwinScreen.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <optional>
#include <string>

#include "HeadlessKwin.h"
#include "KwinSettled.h"
#include "WaylandImsim.h"
#include "platform/wayland/DataControlClipboard.h"
#include "platform/wayland/KwinWindowList.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr std::uint32_t kFill = 0xFF3366CCu;

std::uint32_t At(const Bitmap& b, int x, int y) {
    if (x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
    return b.pixels[static_cast<size_t>(y) * b.width + x];
}

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "platform_kwin_screen";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

HeadlessKwin::Options Granted(bool granted) {
    HeadlessKwin::Options o;
    o.opengl = true;  // KWin takes pictures only while it composites with OpenGL
    if (granted)
        o.entries = {
            TrustedEntry(OwnExecutable(), "org_kde_kwin_fake_input", "org.kde.KWin.ScreenShot2")};
    return o;
}

class KwinScreenTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(kwin_.WaitReady()) << kwin_.Log();
        scripting_ = std::make_unique<KwinScripting>(kwin_.BusAddress());
        DataControlClipboard::Options o;
        o.display = kwin_.WaylandDisplay();
        clip_ = std::make_unique<DataControlClipboard>(loop_, o);
        ASSERT_TRUE(clip_->Available()) << "KWin offers no data-control clipboard";
        screen_ = std::make_unique<KwinScreen>(*clip_, *scripting_, kwin_.BusAddress());
        ASSERT_TRUE(PollUntil([&] { return screen_->Available(); }, 10000, 50))
            << "KWin offers no ScreenShot2";
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "KWin's log:\n" << kwin_.Log();
    }
    std::optional<Rect> Settled(pid_t pid) {
        const auto k = SettledKwinWindow(*scripting_, pid);
        return k ? std::optional<Rect>(k->client) : std::nullopt;
    }

    QCoreApplication& app_ = App();
    HeadlessKwin kwin_{Granted(GetParam())};
    TempDir runtime_;
    SleepLoop loop_;
    std::unique_ptr<KwinScripting> scripting_;
    std::unique_ptr<DataControlClipboard> clip_;
    std::unique_ptr<KwinScreen> screen_;
};

TEST_P(KwinScreenTest, CapturesTheWorkspaceOntoTheClipboardOnlyWhenGranted) {
    EXPECT_EQ(screen_->VirtualScreen(), (Rect{0, 0, 1280, 800}));
    WaylandImsim chat(kwin_.WaylandDisplay(), runtime_, "Alice", {"--fill", "3366cc"});
    const auto r = Settled(chat.pid());
    ASSERT_TRUE(r);
    const int cx = (r->left + r->right) / 2;
    const int cy = (r->top + r->bottom) / 2;
    ASSERT_TRUE(clip_->SetText(u"kept"));

    if (!GetParam()) {
        // No entry grants it: no picture, a reason, and the clipboard keeps what it had.
        EXPECT_TRUE(screen_->Capture().empty());
        EXPECT_NE(screen_->LastError().find("KWin did not take the picture"), std::string::npos)
            << screen_->LastError();
        screen_->CaptureToClipboard();
        EXPECT_EQ(clip_->Text(), u"kept");
        return;
    }
    // Once imsim has painted: its colour inside its surface, not on KWin's title bar above
    // it nor just beside it. The picture is upright, unshifted and in the right channel order.
    Bitmap shot;
    ASSERT_TRUE(PollUntil(
        [&] {
            shot = screen_->Capture();
            return At(shot, cx, cy) == kFill && At(shot, r->left + 4, cy) == kFill &&
                   At(shot, r->right - 5, cy) == kFill && At(shot, cx, r->bottom - 5) == kFill;
        },
        kAppearMs, 100))
        << screen_->LastError() << " " << shot.width << "x" << shot.height << " centre " << std::hex
        << At(shot, cx, cy);
    EXPECT_EQ(shot.width, 1280);
    EXPECT_EQ(shot.height, 800);
    EXPECT_NE(At(shot, cx, r->top - 3), kFill);
    EXPECT_NE(At(shot, r->left - 3, cy), kFill);
    EXPECT_NE(At(shot, r->right + 2, cy), kFill);

    screen_->CaptureToClipboard();
    const Bitmap pasted = clip_->Image();
    ASSERT_EQ(pasted.width, 1280);
    ASSERT_EQ(pasted.height, 800);
    EXPECT_EQ(At(pasted, cx, cy), kFill);
    EXPECT_NE(At(pasted, cx, r->top - 3), kFill);
}

INSTANTIATE_TEST_SUITE_P(Entry, KwinScreenTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Granted" : "NotGranted"; });

}  // namespace
}  // namespace velmora::platform::wayland
