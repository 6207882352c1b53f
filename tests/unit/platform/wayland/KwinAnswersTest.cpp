// The KWin backends against a stand-in KWin on a private bus: answers the real one never
// gives (a refused script, no report, garbage, another script's report, broken pictures) end
// in "nothing there" within the bounds, never in a hang or a crash.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <memory>

#include "KwinStandIn.h"
#include "platform/fake/FakePlatform.h"
#include "platform/wayland/KwinScreen.h"
#include "platform/wayland/KwinScripting.h"
#include "platform/wayland/KwinWindows.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr int kReportMs = 400;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "unit_kwin_answers";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

class KwinAnswersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto& dir = dir_.path();
        const std::string address = "unix:path=" + (dir / "bus").string();
        WriteFile(dir / "bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                  "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>" +
                      address +
                      "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                      "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n");
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        busPid_ = velmora::testing::Spawn(
            {"/usr/bin/dbus-daemon", "--nofork", "--config-file=" + (dir / "bus.conf").string()},
            {}, null, null);
        close(null);
        ASSERT_TRUE(PollUntil([&] { return std::filesystem::exists(dir / "bus"); }, 10000));
        address_ = address;

        // The stand-in answers on a thread of its own: our calls block the test's.
        standInBus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(address), "stand-in"));
        ASSERT_TRUE(standInBus_->isConnected());
        scripting_.moveToThread(&thread_);
        scripting_.bus = standInBus_.get();
        script_ = std::make_unique<StandInScript>(scripting_);
        script_->moveToThread(&thread_);
        shot_.moveToThread(&thread_);
        thread_.start();
        ASSERT_TRUE(standInBus_->registerObject("/Scripting", &scripting_,
                                                QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(
            standInBus_->registerObject("/0", script_.get(), QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(standInBus_->registerObject("/org/kde/KWin/ScreenShot2", &shot_,
                                                QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(standInBus_->registerService("org.kde.KWin"));
        kwinScripting_ = std::make_unique<KwinScripting>(address_, kReportMs);
    }
    void TearDown() override {
        kwinScripting_.reset();
        thread_.quit();
        thread_.wait();
        standInBus_->unregisterService("org.kde.KWin");
        standInBus_.reset();
        QDBusConnection::disconnectFromBus("stand-in");
        if (busPid_ > 0) {
            kill(busPid_, SIGTERM);
            waitpid(busPid_, nullptr, 0);
        }
    }

    QCoreApplication& app_ = App();
    TempDir dir_;
    pid_t busPid_ = -1;
    std::string address_;
    std::unique_ptr<QDBusConnection> standInBus_;
    QThread thread_;
    StandInScripting scripting_;
    std::unique_ptr<StandInScript> script_;
    StandInScreenShot shot_;
    std::unique_ptr<KwinScripting> kwinScripting_;
    SleepLoop loop_;
};

TEST_F(KwinAnswersTest, ScriptsThatDoNotReportFindNoWindowWithinTheBound) {
    KwinWindows windows(*kwinScripting_, loop_);
    // The control: a report in order names the window.
    const WinHandle w = windows.WindowFromPoint({50, 50});
    ASSERT_NE(w, 0);
    ASSERT_TRUE(windows.GetWindowRect(w));

    for (const ScriptAnswer a : {ScriptAnswer::Refuse, ScriptAnswer::Silent, ScriptAnswer::Garbage,
                                 ScriptAnswer::WrongToken}) {
        SCOPED_TRACE(static_cast<int>(a));
        scripting_.answer = a;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(windows.WindowFromPoint({50, 50}), 0);
        EXPECT_FALSE(windows.GetWindowRect(w));
        EXPECT_FALSE(windows.IsWindow(w));
        EXPECT_EQ(windows.FocusedWindow(), 0);
        // Four calls, each waiting for its report no longer than it was told.
        EXPECT_LT(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(4 * kReportMs + 2000));
    }
    scripting_.answer = ScriptAnswer::Reports;
    EXPECT_EQ(windows.WindowFromPoint({50, 50}), w) << "the same window keeps its handle";
}

TEST_F(KwinAnswersTest, AScriptWhoseNumberAnotherScriptHoldsStillRuns) {
    // KWin reuses numbers: the run by number reaches another program's script, not ours.
    KwinWindows windows(*kwinScripting_, loop_);
    scripting_.answer = ScriptAnswer::Taken;
    EXPECT_NE(windows.WindowFromPoint({50, 50}), 0);
}

TEST_F(KwinAnswersTest, BrokenPicturesLeaveTheClipboardAsItWas) {
    fake::ActionLog log;
    fake::FakeClipboard clipboard(log);
    KwinScreen screen(clipboard, *kwinScripting_, address_, 3000);
    ASSERT_TRUE(screen.Available());
    EXPECT_EQ(screen.VirtualScreen(), (Rect{0, 0, 2, 2}));
    // The control: the two by two picture, upright and in its colours.
    const Bitmap shot = screen.Capture();
    ASSERT_EQ(shot.width, 2) << screen.LastError();
    ASSERT_EQ(shot.height, 2);
    EXPECT_EQ(shot.pixels,
              (std::vector<std::uint32_t>{0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}));

    for (const ShotAnswer a : {ShotAnswer::Error, ShotAnswer::NoSize, ShotAnswer::ShortData,
                               ShotAnswer::UnknownFormat, ShotAnswer::Huge}) {
        SCOPED_TRACE(static_cast<int>(a));
        shot_.answer = a;
        ASSERT_TRUE(clipboard.SetText(u"kept"));
        EXPECT_TRUE(screen.Capture().empty());
        EXPECT_FALSE(screen.LastError().empty());
        screen.CaptureToClipboard();
        EXPECT_EQ(clipboard.Text(), u"kept");
    }
}

}  // namespace
}  // namespace velmora::platform::wayland
