// The start-up's choice on KDE Plasma against a real headless KWin (and an Xvfb for the X11
// fallback): without the desktop entry that grants fake input it says why and falls back to
// X11; once the entry is installed it drives other programs through KWin's own ways.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstdlib>
#include <functional>
#include <string>

#include "HeadlessKwin.h"
#include "app/DesktopBackends.h"
#include "platform/wayland/KwinFakeInput.h"
#include "platform/wayland/KwinWindows.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/Spawn.h"
#include "support/StderrOf.h"
#include "support/TempDir.h"

namespace velmora::app {
namespace {

// An X server of the test's own, on the first free display number.
class OwnXvfb {
  public:
    OwnXvfb() {
        const std::string out = (dir_.path() / "display").string();
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = velmora::testing::Spawn(
            {"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"},
            {}, fd, -1);
        if (fd >= 0) close(fd);
        PollUntil(
            [&] {
                const std::string n = ReadFile(out);
                if (n.empty() || n.back() != '\n') return false;
                display_ = ":" + n.substr(0, n.size() - 1);
                return true;
            },
            10000, 20);
    }
    ~OwnXvfb() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    OwnXvfb(const OwnXvfb&) = delete;
    OwnXvfb& operator=(const OwnXvfb&) = delete;
    const std::string& Display() const { return display_; }

  private:
    TempDir dir_;
    pid_t pid_ = -1;
    std::string display_;
};

// What the call wrote on standard error, and its result.
TEST(KdeBackends, FallsBackToX11WithTheReasonThenDrivesKwinOnceTheEntryIsInstalled) {
    OwnXvfb x;
    ASSERT_FALSE(x.Display().empty()) << "Xvfb did not start";
    HeadlessKwin::Options options;
    options.opengl = true;  // ScreenShot2 needs it
    HeadlessKwin kwin(options);
    ASSERT_TRUE(kwin.WaitReady()) << kwin.Log();
    // The process's environment, as a program started in that Plasma session has it.
    setenv("WAYLAND_DISPLAY", kwin.WaylandDisplay().c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", kwin.BusAddress().c_str(), 1);
    setenv("DISPLAY", x.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    int argc = 1;
    char name[] = "platform_kde_backends";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    SleepLoop loop;
    const platform::SessionChoice kde{platform::SessionKind::Kde, "backends: KDE Plasma"};

    {
        DesktopBackends chosen;
        const std::string log = StderrOf([&] { chosen = ChooseDesktopBackends(kde, loop); });
        EXPECT_NE(log.find("velmora: KDE Plasma's backends cannot start ("), std::string::npos)
            << log;
        EXPECT_NE(log.find("org_kde_kwin_fake_input"), std::string::npos) << log;
        EXPECT_NE(log.find("; trying X11"), std::string::npos) << log;
        EXPECT_NE(log.find("velmora: driving other programs through X11"), std::string::npos)
            << log;
        EXPECT_EQ(dynamic_cast<platform::wayland::KwinWindows*>(chosen.windows.get()), nullptr);
        EXPECT_NE(chosen.description.find("only programs under XWayland"), std::string::npos);
    }

    kwin.AddEntry(
        TrustedEntry(OwnExecutable(), "org_kde_kwin_fake_input", "org.kde.KWin.ScreenShot2"));
    ASSERT_TRUE(PollUntil(
        [&] {
            try {
                platform::wayland::KwinFakeInput probe;
                return true;
            } catch (const std::exception&) {
                return false;
            }
        },
        10000, 200))
        << "KWin never read the new desktop entry";
    DesktopBackends chosen;
    const std::string log = StderrOf([&] { chosen = ChooseDesktopBackends(kde, loop); });
    EXPECT_NE(log.find("velmora: driving other programs through KDE Plasma ("), std::string::npos)
        << log;
    EXPECT_EQ(log.find("cannot start"), std::string::npos) << log;
    EXPECT_NE(dynamic_cast<platform::wayland::KwinWindows*>(chosen.windows.get()), nullptr);
    EXPECT_NE(dynamic_cast<platform::wayland::KwinFakeInput*>(chosen.input.get()), nullptr);
    EXPECT_EQ(chosen.screen->VirtualScreen(), (platform::Rect{0, 0, 1280, 800}));
    ASSERT_TRUE(chosen.clipboard->SetText(u"through data-control"));
    EXPECT_EQ(chosen.clipboard->Text(), u"through data-control");
}

}  // namespace
}  // namespace velmora::app
