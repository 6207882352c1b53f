// The real program under the test desktop: windows, tray icon and exit seen from outside.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include "support/PollUntil.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

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

std::string MainWindow() {
    return ShellLine("xdotool search --onlyvisible --name '^Quillet2009' | head -1");
}

// The program with a home of its own (a temporary folder, removed afterwards), so that its
// configuration and autostart entry never land in the tester's.
class Program {
  public:
    explicit Program(const std::string& args) {
        std::string exe = std::string(std::getenv("VELMORA_BUILD_DIR")) + "/src/app/velmora";
        const std::string home = home_.path().string();
        const std::string config = (home_.path() / "config").string();
        pid_ = fork();
        if (pid_ == 0) {
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            if (args.empty())
                execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            else
                execl(exe.c_str(), exe.c_str(), args.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Program() {
        if (pid_ > 0 && Running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
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

}  // namespace

TEST(Program, NormalStartShowsTheTitledWindowWithItsClientSize) {
    Program p("");
    ASSERT_TRUE(PollUntil([] { return !MainWindow().empty(); }, 8000));
    std::string info = ShellLine("xwininfo -id " + MainWindow());
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
    EXPECT_TRUE(MainWindow().empty());
    ShellLine("xdotool mousemove --window " + TrayIconWindow() + " 8 8 click 1");
    EXPECT_TRUE(PollUntil([] { return !MainWindow().empty(); }, 8000));
    EXPECT_EQ(TrayIcons(), 1);
}

TEST(Program, ClosingTwiceLeavesOneIconAndExitFromTheTrayMenuEndsIt) {
    Program p("");
    ASSERT_TRUE(PollUntil([] { return !MainWindow().empty(); }, 8000));
    for (int i = 0; i < 2; ++i) {
        std::string w = MainWindow();
        ASSERT_FALSE(w.empty());
        ShellLine("xdotool windowactivate --sync " + w + " key --clearmodifiers alt+F4");
        ASSERT_TRUE(PollUntil([] { return MainWindow().empty(); }, 8000)) << "close hides";
        EXPECT_TRUE(p.Running());
        EXPECT_TRUE(PollUntil([] { return TrayIcons() == 1; }, 8000));
        ShellLine("xdotool mousemove --window " + TrayIconWindow() + " 8 8 click 1");
        ASSERT_TRUE(PollUntil([] { return !MainWindow().empty(); }, 8000));
    }
    EXPECT_EQ(TrayIcons(), 1);
    // Right release opens the tray menu; its access key X exits.
    ShellLine("xdotool mousemove --window " + TrayIconWindow() + " 8 8 click 3");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ShellLine("xdotool key x");
    EXPECT_TRUE(PollUntil([&] { return !p.Running(); }, 8000)) << "exit ends the process";
    EXPECT_TRUE(PollUntil([] { return TrayIcons() == 0; }, 8000)) << "and removes the icon";
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
