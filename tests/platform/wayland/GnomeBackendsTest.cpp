// The start-up's choice of backends on GNOME, against a real headless mutter and its portal:
// GNOME's own once the user grants the portal's dialog, with the log line saying so; a refused
// dialog falls back to X11, and the log says why.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <functional>
#include <string>

#include "HeadlessMutter.h"
#include "PortalSession.h"
#include "app/DesktopBackends.h"
#include "platform/qt/QtEventLoop.h"
#include "support/StderrOf.h"
#include "support/TempDir.h"

namespace velmora::app {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "platform_gnome_backends";
    static char* argv[] = {name, nullptr};
    // Our own windows are not what is tested: none of them needs a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(argc, argv);
    return app;
}

class GnomeBackendsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(desktop_.WaitReady()) << desktop_.Log();
        // The backends' own tools (wl-copy, wl-paste) find mutter as any program there does;
        // no X server: the fallback's failure is certain.
        setenv("WAYLAND_DISPLAY", desktop_.WaylandDisplay().c_str(), 1);
        unsetenv("DISPLAY");
        portal_.busAddress = desktop_.BusAddress();
        portal_.dialogTimeoutMs = 25000;
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "the desktop's log:\n" << desktop_.Log();
    }

    static platform::SessionChoice Gnome() {
        return {platform::SessionKind::Gnome, "backends: GNOME, because the test says so"};
    }

    QApplication& app_ = App();
    HeadlessMutter desktop_;
    platform::qt::QtEventLoop loop_;
    platform::wayland::PortalRemoteDesktop::Options portal_;
};

TEST_F(GnomeBackendsTest, AGrantedPortalGivesGnomesOwnBackends) {
    DialogAnswer answer(desktop_, "share");
    DesktopBackends chosen;
    const std::string log =
        StderrOf([&] { chosen = ChooseDesktopBackends(Gnome(), loop_, portal_); });
    EXPECT_TRUE(answer.Pressed());
    EXPECT_NE(log.find("velmora: driving other programs through GNOME ("), std::string::npos)
        << log;
    EXPECT_EQ(chosen.description.rfind("GNOME (", 0), 0u) << chosen.description;
    ASSERT_TRUE(chosen.screen && chosen.windows && chosen.clipboard && chosen.input);
    EXPECT_EQ(chosen.screen->VirtualScreen(), (platform::Rect{0, 0, 1280, 800}));
    // The whole way: the frozen picture goes onto the clipboard through wl-copy and back.
    // The whole way: the frozen picture goes onto the clipboard through wl-copy and back.
    chosen.screen->CaptureToClipboard();
    const platform::Bitmap picture = chosen.clipboard->Image();
    EXPECT_EQ(picture.width, 1280);
    EXPECT_EQ(picture.height, 800);
    ASSERT_TRUE(chosen.clipboard->SetText(u"über"));
    EXPECT_EQ(chosen.clipboard->Text(), u"über");
    // Noise makes a PNG far bigger than a pipe holds: it must come back whole.
    platform::Bitmap noise{640, 400, std::vector<std::uint32_t>(640 * 400)};
    for (std::size_t i = 0; i < noise.pixels.size(); ++i)
        noise.pixels[i] = 0xFF000000u | static_cast<std::uint32_t>((i * 2654435761u) >> 8);
    ASSERT_TRUE(chosen.clipboard->SetImage(noise));
    const platform::Bitmap back = chosen.clipboard->Image();
    EXPECT_EQ(back.width, 640);
    EXPECT_TRUE(back.pixels == noise.pixels);
}

TEST_F(GnomeBackendsTest, ARefusedPortalFallsBackToX11SayingWhy) {
    DialogAnswer answer(desktop_, "cancel");
    bool threw = false;
    const std::string log = StderrOf([&] {
        try {
            ChooseDesktopBackends(Gnome(), loop_, portal_);
        } catch (const std::exception&) {
            threw = true;  // no X server here either
        }
    });
    EXPECT_TRUE(answer.Pressed());
    EXPECT_TRUE(threw);
    EXPECT_NE(log.find("velmora: GNOME's backends cannot start (the user refused the "
                       "remote-desktop permission); trying X11"),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace velmora::app
