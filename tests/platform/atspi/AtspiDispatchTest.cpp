// The reader of other programs' trees against a program whose first tree arrives while the
// reader waits for another answer of the same program: the library then reads that tree inside
// its bus dispatch, and a call back on the bus from there never returns.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atspi/atspi.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/PollUntil.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

// Xlib last: its None macro would clash with names in the ports.
#include "platform/atspi/AtspiAccessibility.h"

namespace {

bool DesktopLists(const char* name) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return false;
    bool found = false;
    const int apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (int i = 0; i < apps && !found; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (!app) continue;
        gchar* n = atspi_accessible_get_name(app, nullptr);
        found = n && std::string(n) == name;
        g_free(n);
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

TEST(AtspiDispatchTest, AProgramsFirstTreeArrivingDuringAnotherAnswerDoesNotHangTheSearch) {
    TempDir dir;
    const auto ready = dir.path() / "ready";
    const std::string program =
        std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tests/platform/atspi/slow_tree_program";
    const pid_t slow = velmora::testing::Spawn({program, ready.string()});
    ASSERT_GT(slow, 0);
    ASSERT_TRUE(PollUntil([&] { return std::filesystem::exists(ready); }, 10000))
        << "the slow program never joined the accessibility bus";

    // In a process of its own: a search that hangs could not be ended otherwise.
    const pid_t child = fork();
    if (child == 0) {
        velmora::platform::atspi::AtspiAccessibility tree;
        const bool found = tree.FocusedFieldOnDesktop() != nullptr;
        // The search must have met the slow program, not passed it by.
        _exit(found ? 1 : DesktopLists("slow tree") ? 0 : 2);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    const bool ended =
        PollUntil([&] { return waitpid(child, &status, WNOHANG) == child; }, 15000, 20);
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    kill(slow, SIGTERM);
    waitpid(slow, nullptr, 0);
    ASSERT_TRUE(ended) << "the search never ended";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a focused field where none is; 2: the slow program "
                                         "was not on the desktop";
}

}  // namespace
