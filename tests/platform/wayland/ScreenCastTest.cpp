// The portal session's screen stream read through PipeWire on a real headless mutter: the
// frozen picture shows the chat window and goes onto the clipboard; the live screen around a
// point stops matching it when another window covers the point, and matches again once that
// window is gone.

#include "platform/wayland/ScreenCast.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <memory>

#include "HeadlessMutter.h"
#include "PortalSession.h"
#include "WaylandImsim.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/wayland/ScreenCastScreen.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr std::uint32_t kBlue = 0xFF3366CC, kOrange = 0xFFCC6633;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "platform_gnome_screen";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

bool Near(std::uint32_t p, std::uint32_t q) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((p >> shift) & 0xFF) -
                     static_cast<int>((q >> shift) & 0xFF)) > 8)
            return false;
    return true;
}

std::uint32_t PixelAt(const Bitmap& b, Point p) {
    if (p.x < 0 || p.y < 0 || p.x >= b.width || p.y >= b.height) return 0;
    return b.pixels[static_cast<std::size_t>(p.y) * b.width + p.x];
}

class ScreenCastTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(desktop_.WaitReady()) << desktop_.Log();
        session_ = StartSession(desktop_, loop_, "share");
        ASSERT_TRUE(session_->Started()) << session_->Reason();
        cast_ = std::make_unique<ScreenCast>(*session_, loop_);
        ASSERT_TRUE(cast_->Available()) << cast_->Reason();
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "the desktop's log:\n" << desktop_.Log();
    }
    // A full-screen chat window in one colour, once the stream shows it at `probe`.
    std::unique_ptr<WaylandImsim> Show(const char* peer, std::uint32_t colour,
                                       std::optional<imsim::ImsimGeometry>& g) {
        char fill[8];
        std::snprintf(fill, sizeof fill, "%06X", colour & 0xFFFFFF);
        auto chat = std::make_unique<WaylandImsim>(
            desktop_.WaylandDisplay(), clients_, peer,
            std::vector<std::string>{"--full-screen", "--fill", fill});
        g = FullScreenGeometry(*chat, false);
        if (!g) {
            ADD_FAILURE() << peer << "'s window never filled the screen";
        } else if (!loop_.WaitUntil(
                       [&] { return Near(PixelAt(cast_->Live(), Centre(g->history)), colour); },
                       kAppearMs)) {
            ADD_FAILURE() << "the stream never showed " << peer << "'s window: " << cast_->Frames()
                          << " frames (" << cast_->StreamState() << ")";
            g.reset();
        }
        return chat;
    }

    QCoreApplication& app_ = App();
    HeadlessMutter desktop_;
    TempDir clients_;
    qt::QtEventLoop loop_;
    std::unique_ptr<PortalRemoteDesktop> session_;
    std::unique_ptr<ScreenCast> cast_;
};

TEST_F(ScreenCastTest, TheCaptureIsTheMonitorWithTheChatWindowOnTheClipboard) {
    std::optional<imsim::ImsimGeometry> g;
    auto chat = Show("Alice", kBlue, g);
    ASSERT_TRUE(g) << "the stream never showed the window";
    fake::ActionLog log;
    fake::FakeClipboard clipboard(log);
    ScreenCastScreen screen(clipboard, *cast_);
    EXPECT_EQ(screen.VirtualScreen(), (Rect{0, 0, 1280, 800}));
    screen.CaptureToClipboard();
    ASSERT_EQ(clipboard.image.width, 1280);
    ASSERT_EQ(clipboard.image.height, 800);
    EXPECT_TRUE(Near(PixelAt(clipboard.image, Centre(g->history)), kBlue));
    EXPECT_EQ(cast_->Generation(), 1);
}

TEST_F(ScreenCastTest, ACoveringWindowChangesTheLiveScreenAroundThePointUntilItGoes) {
    std::optional<imsim::ImsimGeometry> g;
    auto picked = Show("Alice", kBlue, g);
    ASSERT_TRUE(g);
    ASSERT_TRUE(cast_->Freeze());
    const Point at = Centre(g->history);
    EXPECT_TRUE(cast_->LiveMatchesFrozen(at, 12));

    std::optional<imsim::ImsimGeometry> over;
    auto cover = Show("Anna", kOrange, over);
    ASSERT_TRUE(over);
    EXPECT_FALSE(cast_->LiveMatchesFrozen(at, 12));
    cover->Close();
    EXPECT_TRUE(loop_.WaitUntil([&] { return cast_->LiveMatchesFrozen(at, 12); }, kAppearMs));
}

}  // namespace
}  // namespace velmora::platform::wayland
