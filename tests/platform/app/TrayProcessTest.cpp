// The real program under the test desktop: windows, tray icon and exit seen from outside.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include "support/PollUntil.h"
#include "support/Shell.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// The program's tray icons: the windows carrying its class (the main window carries its title).
int TrayIcons() {
    return std::atoi(
        ShellLine("xwininfo -root -tree | grep -c '\"velmora\": (\"velmora\" \"velmora\")'")
            .c_str());
}

std::string TrayIconWindow() {
    return ShellLine(
        "xwininfo -root -tree | grep '\"velmora\": (\"velmora\" \"velmora\")' | awk '{print $1; "
        "exit}'");
}

// The shown main window of any instance; tests pass their own program's pid, so a window a
// killed instance left for the server to tear down is never taken for the new one's.
std::string MainWindow(pid_t pid = 0) {
    const std::string owner = pid > 0 ? "--all --pid " + std::to_string(pid) + " " : "";
    return ShellLine("xdotool search " + owner + "--onlyvisible --name '^Quillet2009' | head -1");
}

// The program with a home of its own (a temporary folder, removed afterwards), so that its
// configuration and autostart entry never land in the tester's.
class Program {
  public:
    explicit Program(const std::string& args) {
        std::string exe = std::string(std::getenv("VELMORA_BUILD_DIR")) + "/src/app/velmora";
        const std::string home = home_.path().string();
        const std::string config = (home_.path() / "config").string();
        std::vector<std::string> argv = {exe};
        if (!args.empty()) argv.push_back(args);
        std::filesystem::create_directory(Runtime());
        std::filesystem::permissions(Runtime(), std::filesystem::perms::owner_all);
        pid_ = velmora::testing::Spawn(
            argv,
            {{"HOME", home}, {"XDG_CONFIG_HOME", config}, {"XDG_RUNTIME_DIR", Runtime().string()}});
    }
    // The program's runtime folder, private to the user: where its trigger socket lies.
    std::filesystem::path Runtime() const { return home_.path() / "run"; }
    // `velmora --trigger <command>` started beside this program; its exit status.
    int Trigger(const std::string& command) const {
        const std::string exe = std::string(std::getenv("VELMORA_BUILD_DIR")) + "/src/app/velmora";
        const pid_t pid = velmora::testing::Spawn({exe, "--trigger", command},
                                                  {{"XDG_RUNTIME_DIR", Runtime().string()}});
        int status = 0;
        if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }
    ~Program() {
        if (pid_ > 0 && Running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        // The server drops a dead client's windows in its own time: the next test must not find
        // this one's main window or tray icon.
        PollUntil([] { return MainWindow().empty() && TrayIcons() == 0; }, 5000, 50);
    }
    pid_t Pid() const { return pid_; }
    bool Running() {
        if (exited_) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) exited_ = true;
        return !exited_;
    }
    std::filesystem::path AutostartEntry() const {
        return home_.path() / "config" / "autostart" / "velmora.desktop";
    }

  private:
    TempDir home_;  // first: removed only after the program has been ended
    pid_t pid_ = -1;
    bool exited_ = false;
};

// The main window's ICCCM state ("Normal", "Iconic", ...), empty when it has none.
std::string MainWindowState() {
    return ShellLine(
        "w=$(xdotool search --name '^Quillet2009' | head -1); [ -n \"$w\" ] && "
        "xprop -id \"$w\" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'");
}

// A display of this test's own, with a window manager and, once asked for, a tray; DISPLAY
// points at it while it lives. The shared test desktop and its tray are left alone.
class PrivateDesktop {
  public:
    PrivateDesktop() {
        if (const char* d = std::getenv("DISPLAY")) saved_ = d;
        // Xvfb picks a free display itself and writes its number down the pipe; without
        // -noreset it would reset when the probe below disconnects and turn openbox away.
        int fds[2];
        if (pipe(fds) != 0) return;
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);  // only the write end goes to Xvfb
        Start("Xvfb -displayfd " + std::to_string(fds[1]) +
              " -screen 0 1280x900x24 -nolisten tcp -noreset");
        close(fds[1]);
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        if (!PollUntil([] { return Shell("xdpyinfo >/dev/null 2>&1 && echo up") == "up\n"; }, 30000,
                       100)) {
            failure_ = "Xvfb did not answer";
            return;
        }
        Start("openbox");
        up_ = PollUntil(
            [] {
                return !ShellLine(
                            "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep "
                            "'window id'")
                            .empty();
            },
            30000, 100);
        if (!up_) failure_ = "openbox did not take the screen";
    }
    ~PrivateDesktop() {
        for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
            kill(*it, SIGTERM);
            waitpid(*it, nullptr, 0);
        }
        if (saved_.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", saved_.c_str(), 1);
    }
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    bool Up() const { return up_; }
    const std::string& Failure() const { return failure_; }
    void StartTray() {
        Start(
            "trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 "
            "--SetDockType true --transparent false");
    }

  private:
    void Start(const std::string& command) {
        const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t pid =
            velmora::testing::Spawn({"/bin/sh", "-c", "exec " + command}, {}, quiet, quiet);
        if (quiet >= 0) close(quiet);
        if (pid > 0) pids_.push_back(pid);
    }

    std::string saved_;
    std::vector<pid_t> pids_;
    bool up_ = false;
    std::string failure_ = "no Xvfb";
};

}  // namespace

TEST(Program, HiddenStartBeforeTheTrayMovesIntoItOnceItAppears) {
    PrivateDesktop desktop;
    ASSERT_TRUE(desktop.Up()) << desktop.Failure();
    Program p("-s");
    // No tray yet: the window waits minimised, with no icon.
    ASSERT_TRUE(PollUntil([] { return MainWindowState() == "Iconic"; }, 15000, 100))
        << "state '" << MainWindowState() << "', icons " << TrayIcons();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // a poll finds nothing
    EXPECT_EQ(MainWindowState(), "Iconic");
    EXPECT_EQ(TrayIcons(), 0);

    // The panel's tray comes up: the window goes into it (one poll later).
    desktop.StartTray();
    ASSERT_TRUE(PollUntil([] { return TrayIcons() == 1; }, 8000, 100));
    EXPECT_TRUE(PollUntil([] { return MainWindowState() != "Iconic"; }, 8000, 100));
    EXPECT_TRUE(MainWindow(p.Pid()).empty());
    ShellLine("xdotool mousemove --window " + TrayIconWindow() + " 8 8 click 1");
    EXPECT_TRUE(PollUntil([&p] { return !MainWindow(p.Pid()).empty(); }, 8000, 100))
        << "and back out";
    EXPECT_EQ(TrayIcons(), 1);
}

TEST(Program, NormalStartShowsTheTitledWindowWithItsClientSize) {
    Program p("");
    ASSERT_TRUE(PollUntil([&p] { return !MainWindow(p.Pid()).empty(); }, 8000));
    std::string info = ShellLine("xwininfo -id " + MainWindow(p.Pid()));
    EXPECT_NE(info.find("Width: 517"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 644"), std::string::npos) << info;
    EXPECT_EQ(TrayIcons(), 0);
    // Start-up wrote the autostart entry into the program's own home, for this very program.
    ASSERT_TRUE(PollUntil([&] { return std::filesystem::exists(p.AutostartEntry()); }, 8000));
    const std::string entry = ReadFile(p.AutostartEntry());
    EXPECT_NE(entry.find("Exec=" + std::string(std::getenv("VELMORA_BUILD_DIR")) +
                         "/src/app/velmora -s\n"),
              std::string::npos)
        << entry;
}

TEST(Program, HiddenStartLeavesOnlyATrayIconAndLeftReleaseRestores) {
    Program p("-s");
    ASSERT_TRUE(PollUntil([] { return TrayIcons() == 1; }, 8000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(MainWindow(p.Pid()).empty());
    ShellLine("xdotool mousemove --window " + TrayIconWindow() + " 8 8 click 1");
    EXPECT_TRUE(PollUntil([&p] { return !MainWindow(p.Pid()).empty(); }, 8000));
    EXPECT_EQ(TrayIcons(), 1);
}

TEST(Program, ClosingTwiceLeavesOneIconAndExitFromTheTrayMenuEndsIt) {
    Program p("");
    const pid_t pid = p.Pid();
    ASSERT_TRUE(PollUntil([pid] { return !MainWindow(pid).empty(); }, 8000));
    for (int i = 0; i < 2; ++i) {
        std::string w = MainWindow(pid);
        ASSERT_FALSE(w.empty());
        // The window manager's close request, as its close box sends it; a synthetic Alt+F4
        // would close whatever holds the focus when the key arrives.
        ShellLine("wmctrl -i -c " + w);
        ASSERT_TRUE(PollUntil([pid] { return MainWindow(pid).empty(); }, 8000))
            << "close hides (round " << i << "); active window "
            << ShellLine("xprop -root _NET_ACTIVE_WINDOW") << ", main window " << w << " state '"
            << MainWindowState() << "'";
        EXPECT_TRUE(p.Running());
        EXPECT_TRUE(PollUntil([] { return TrayIcons() == 1; }, 8000));
        ShellLine("xdotool mousemove --window " + TrayIconWindow() + " 8 8 click 1");
        ASSERT_TRUE(PollUntil([pid] { return !MainWindow(pid).empty(); }, 8000));
    }
    EXPECT_EQ(TrayIcons(), 1);
    // Right release opens the tray menu; its access key X exits.
    ShellLine("xdotool mousemove --window " + TrayIconWindow() + " 8 8 click 3");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ShellLine("xdotool key x");
    EXPECT_TRUE(PollUntil([&] { return !p.Running(); }, 8000)) << "exit ends the process";
    EXPECT_TRUE(PollUntil([] { return TrayIcons() == 0; }, 8000)) << "and removes the icon";
}

TEST(Program, ASecondStartWithTriggerReachesTheRunningProgramOnly) {
    const auto p = std::make_unique<Program>("");
    const pid_t pid = p->Pid();
    ASSERT_TRUE(PollUntil([pid] { return !MainWindow(pid).empty(); }, 8000));
    // The in-place shortcut is on by default: the running program takes the command.
    EXPECT_TRUE(PollUntil([&] { return p->Trigger("inplace") == 0; }, 8000, 200));
    EXPECT_EQ(p->Trigger("format-disk"), 1) << "an unknown command is refused";
    EXPECT_TRUE(p->Running());
    EXPECT_TRUE(std::filesystem::exists(p->Runtime() / "velmora.trigger"));
    // Killed, it leaves its socket behind: a second start still finds no one there.
    kill(pid, SIGKILL);
    EXPECT_TRUE(PollUntil([&] { return !p->Running(); }, 8000));
    EXPECT_EQ(p->Trigger("inplace"), 3) << "with none running it says so";
}

TEST(Program, WithoutADisplayItSaysSoAndFails) {
    std::string exe = std::string(std::getenv("VELMORA_BUILD_DIR")) + "/src/app/velmora";
    TempDir home;
    std::string out =
        ShellLine("HOME='" + home.path().string() + "' XDG_CONFIG_HOME='" + home.path().string() +
                  "/config' DISPLAY=:4321 " + exe + " 2>&1; echo \"rc=$?\"");
    EXPECT_NE(out.find("cannot reach an X display"), std::string::npos) << out;
    EXPECT_NE(out.find("rc=2"), std::string::npos) << out;
}
