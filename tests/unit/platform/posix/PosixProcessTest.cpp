#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "platform/posix/PosixProcess.h"
#include "support/TempDir.h"

using velmora::platform::posix::PosixProcess;
namespace fs = std::filesystem;

namespace {
bool WaitForFile(const fs::path& p) {
    for (int i = 0; i < 500; ++i) {
        if (fs::exists(p) && !ReadFile(p).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
}  // namespace

TEST(PosixProcess, ProgramFolderAndNameComeFromTheExecutable) {
    PosixProcess p;
    EXPECT_EQ(p.ExecutableName(), "unit_posix");
    EXPECT_TRUE(fs::exists(p.ProgramFolder() / p.ExecutableName()));
    EXPECT_TRUE(p.ProgramFolder().is_absolute());
}

TEST(PosixProcess, ExitNowKeepsOutputStillInTheStreamBuffers) {
    TempDir tmp;
    const fs::path out = tmp.path() / "out";
    EXPECT_EXIT(
        {
            PosixProcess p;
            // A file, so stdout is fully buffered and nothing reaches it before the flush.
            if (!std::freopen(out.c_str(), "w", stdout)) std::_Exit(1);
            std::printf("c ");
            std::cout << "c++";
            p.ExitNow(3);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(ReadFile(out), "c c++");
}

TEST(PosixProcess, ScriptRunsDetachedInItsOwnSessionWithOurPidAndNoInheritedFiles) {
    TempDir tmp;
    PosixProcess p;
    const fs::path out = tmp.path() / "out";
    // Reports its argument, whether it leads its own session's process group, its parent, and
    // which descriptors it holds.
    WriteFile(tmp.path() / "s.sh",
              "sid=$(ps -o sid= -p $$ | tr -d ' ')\n"
              "ppid=$(ps -o ppid= -p $$ | tr -d ' ')\n"
              "fds=$(ls /proc/$$/fd | sort -n | tr '\\n' ' ')\n"
              "echo \"$1|$sid|$$|$ppid|$fds\" > '" +
                  out.string() +
                  ".tmp'\n"
                  "mv '" +
                  out.string() + ".tmp' '" + out.string() + "'\n");
    // A descriptor of ours without close-on-exec, which the script must not inherit.
    int leak = open("/dev/null", O_RDONLY);
    ASSERT_EQ(dup2(leak, 57), 57);
    ASSERT_TRUE(p.StartDetachedScript(tmp.path() / "s.sh"));
    close(57);
    close(leak);
    ASSERT_TRUE(WaitForFile(out));
    std::string line = ReadFile(out);
    std::vector<std::string> f;
    for (std::size_t a = 0, b; a <= line.size(); a = b + 1) {
        b = line.find('|', a);
        if (b == std::string::npos) b = line.size();
        f.push_back(line.substr(a, b - a));
    }
    ASSERT_EQ(f.size(), 5u) << line;
    EXPECT_EQ(f[0], std::to_string(getpid()));
    EXPECT_NE(f[1], std::to_string(getsid(0))) << "the script runs in a session of its own";
    EXPECT_NE(f[3], std::to_string(getpid())) << "the script is not our child";
    EXPECT_EQ(f[4].substr(0, 6), "0 1 2 ") << f[4];
    EXPECT_EQ((" " + f[4]).find(" 57 "), std::string::npos) << f[4];
}

TEST(PosixProcess, AMissingScriptIsReportedAndStartsNothing) {
    PosixProcess p;
    EXPECT_FALSE(p.StartDetachedScript("/nonexistent/update.sh"));
}
