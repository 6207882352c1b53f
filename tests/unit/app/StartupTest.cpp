#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/core/CloseDecision.h"
#include "app/core/Heartbeat.h"
#include "app/core/mduMain.h"
#include "platform/fake/FakePlatform.h"

using namespace velmora;
using app::CloseAction;
using app::CloseReason;

TEST(Arguments, JoinedWithSingleBlanksAndComparedExactly) {
    const char* none[] = {"velmora"};
    EXPECT_EQ(app::JoinArguments(1, none), "");
    const char* two[] = {"velmora", "-s", "now"};
    EXPECT_EQ(app::JoinArguments(3, two), "-s now");

    struct Case {
        std::string text;
        app::StartMode mode;
    };
    const Case cases[] = {
        {"-version", app::StartMode::Version},  {"-s", app::StartMode::Hidden},
        {"", app::StartMode::Normal},           {"-S", app::StartMode::Normal},
        {"-s ", app::StartMode::Normal},        {"-s now", app::StartMode::Normal},
        {" -s", app::StartMode::Normal},        {"-Version", app::StartMode::Normal},
        {"-version x", app::StartMode::Normal},
    };
    for (const auto& c : cases) EXPECT_EQ(app::ModeOf(c.text), c.mode) << '"' << c.text << '"';
}

TEST(VersionCompare, OnlyAStrictlyGreaterLeadingNumberIsAnUpdate) {
    struct Case {
        std::u16string answer;
        bool due;
    };
    const Case cases[] = {
        {u"20090924", true},
        {u"20090923", false},
        {u"20090922", false},
        {u"", false},
        {u"abc", false},
        {u"  20100101", true},
        {u"20090924beta", true},
        {u"2009.0924", false},
        {u"0x7FFFFFFF", false},
        {u"inf", false},
        {u"-1", false},
        {u"20090923.5", true},
        // Full-width digits are no version number.
        {u"２０９９０１０１", false},
        {u"20100101０", true},
    };
    for (const auto& c : cases) EXPECT_EQ(app::IsUpdateDue(c.answer), c.due) << c.due;
}

TEST(CloseHandler, DecisionForEveryReason) {
    struct Case {
        bool exitRequested;
        CloseReason reason;
        bool tray;
        CloseAction action;
    };
    const Case cases[] = {
        {false, CloseReason::User, true, CloseAction::HideToTray},
        {false, CloseReason::FromCode, true, CloseAction::HideToTray},
        {false, CloseReason::User, false, CloseAction::MinimizeInstead},
        {false, CloseReason::FromCode, false, CloseAction::MinimizeInstead},
        {false, CloseReason::SessionEnd, true, CloseAction::LetClose},
        {false, CloseReason::TaskManager, true, CloseAction::LetClose},
        {false, CloseReason::Other, false, CloseAction::LetClose},
        {true, CloseReason::User, true, CloseAction::RemoveIconAndClose},
        {true, CloseReason::FromCode, false, CloseAction::RemoveIconAndClose},
        {true, CloseReason::SessionEnd, true, CloseAction::RemoveIconAndClose},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::DecideClose(c.exitRequested, c.reason, c.tray), c.action)
            << static_cast<int>(c.reason) << " exit=" << c.exitRequested;
}

TEST(Heartbeat, FirstTickQueriesThenAtMostEveryTenMinutes) {
    platform::fake::FakePlatform f;
    int queries = 0;
    app::Heartbeat hb(f.clock, f.loop, [&] { ++queries; });
    EXPECT_TRUE(hb.Tick());
    EXPECT_EQ(queries, 0);  // asked aside: the tick returns at once
    f.loop.Run();
    EXPECT_EQ(queries, 1);
    f.clock.AdvanceMs(30'000);
    EXPECT_FALSE(hb.Tick());  // two ticks 30 s apart: one query
    // Ticks every 30 s: the next query is on the first tick after 600 s have passed.
    int ticks = 1;
    while (queries == 1 && ticks < 100) {
        f.clock.AdvanceMs(30'000);
        hb.Tick();
        f.loop.Run();
        ++ticks;
    }
    EXPECT_EQ(queries, 2);
    EXPECT_EQ(ticks * 30, 630);
    f.clock.AdvanceMs(600'000);
    EXPECT_FALSE(hb.Tick());  // exactly 600 s is not more than 600
    f.clock.AdvanceMs(1000);
    EXPECT_TRUE(hb.Tick());
}

TEST(Heartbeat, AQueryStillInFlightIsNotAskedAgain) {
    platform::fake::FakePlatform f;
    int queries = 0;
    app::Heartbeat hb(f.clock, f.loop, [&] { ++queries; });
    EXPECT_TRUE(hb.Tick());
    f.clock.AdvanceMs(601'000);  // a server that takes its time: the next tick comes first
    EXPECT_FALSE(hb.Tick());
    EXPECT_TRUE(hb.InFlight());
    f.loop.Run();
    EXPECT_EQ(queries, 1);
    EXPECT_FALSE(hb.InFlight());
    EXPECT_TRUE(hb.Tick());
}

namespace {

struct RecordingShell : app::IStartupShell {
    std::vector<std::string> calls;
    void ShowUpdateWindow() override { calls.push_back("update-window"); }
    void CloseUpdateWindow() override { calls.push_back("close-update-window"); }
    void Yield() override { calls.push_back("yield"); }
    void CreateMainWindow() override { calls.push_back("create-main"); }
    void ShowMainWindow() override { calls.push_back("show-main"); }
    void CloseMainWindowFromCode() override { calls.push_back("close-main-from-code"); }
};

struct RecordingUpdate : update::IUpdateServices {
    std::vector<std::string>& calls;
    std::u16string version;
    bool listThrows = false;
    explicit RecordingUpdate(std::vector<std::string>& c) : calls(c) {}
    void CleanUpdateFiles() override { calls.push_back("clean"); }
    std::u16string GetLatestVersion(const std::string& id) override {
        calls.push_back("version " + id);
        return version;
    }
    std::vector<std::u16string> GetUpdateFileList() override {
        calls.push_back("list");
        if (listThrows) throw std::runtime_error("refused");
        return {u"http://h/a,velmora"};
    }
    void DownloadUpdate(const std::vector<std::u16string>& l) override {
        calls.push_back("download " + std::to_string(l.size()));
    }
};

std::filesystem::path TempFolder() {
    auto dir =
        std::filesystem::temp_directory_path() /
        ("velmora-main-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(StartUp, StepsInOrderForEachMode) {
    struct Case {
        std::string args;
        std::u16string version;
        bool listThrows;
        std::vector<std::string> expected;
    };
    const std::string id = "version BFEBFBFF000906EA";
    const Case cases[] = {
        {"", u"", false, {"clean", id, "create-main", "show-main"}},
        {"-s", u"20090923", false, {"clean", id, "create-main", "close-main-from-code"}},
        {"-S", u"garbage", false, {"clean", id, "create-main", "show-main"}},
        {"", u"２０９９", false, {"clean", id, "create-main", "show-main"}},
        // A newer version: the update runs first; only when it gives up does the window open.
        {"-s",
         u"20090924",
         false,
         {"clean", id, "update-window", "yield", "list", "download 1", "close-update-window",
          "create-main", "close-main-from-code"}},
        {"",
         u"20100101",
         true,
         {"clean", id, "update-window", "yield", "list", "close-update-window", "create-main",
          "show-main"}},
    };
    for (const auto& c : cases) {
        RecordingShell shell;
        RecordingUpdate update(shell.calls);
        update.version = c.version;
        update.listThrows = c.listThrows;
        EXPECT_EQ(app::Main(c.args, TempFolder(), "BFEBFBFF000906EA", update, shell),
                  app::StartOutcome::Running);
        EXPECT_EQ(shell.calls, c.expected) << "args=" << c.args;
    }
}

TEST(StartUp, VersionModeWritesTheFileAndTouchesNothingElse) {
    const auto dir = TempFolder();
    std::ofstream(dir / "version.php") << "something much longer than the version line\r\n";
    for (int run = 0; run < 2; ++run) {
        RecordingShell shell;
        RecordingUpdate update(shell.calls);
        update.version = u"20990101";
        EXPECT_EQ(app::Main("-version", dir, "id", update, shell),
                  app::StartOutcome::VersionWritten);
        EXPECT_TRUE(shell.calls.empty());
        EXPECT_EQ(ReadAll(dir / "version.php"), "<version>20090923</version>\r\n");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "version.php.tmp"));
}

TEST(StartUp, VersionModeReportsAFolderItCannotWrite) {
    RecordingShell shell;
    RecordingUpdate update(shell.calls);
    std::string error;
    EXPECT_EQ(app::Main("-version", "/nonexistent/velmora", "id", update, shell, &error),
              app::StartOutcome::VersionFailed);
    EXPECT_FALSE(error.empty());
}

TEST(StartUp, APackageManagedInstallNeverUpdatesItself) {
    // <prefix>/bin holds the program; the install rules leave the marker in <prefix>/share.
    struct Case {
        bool marker;
        std::string args;
        std::vector<std::string> expected;
    };
    const std::string id = "version BFEBFBFF000906EA";
    const Case cases[] = {
        {true, "", {"create-main", "show-main"}},
        {true, "-s", {"create-main", "close-main-from-code"}},
        {false,
         "",
         {"clean", id, "update-window", "yield", "list", "download 1", "close-update-window",
          "create-main", "show-main"}},
    };
    for (const auto& c : cases) {
        const auto prefix = TempFolder();
        std::filesystem::create_directories(prefix / "bin");
        std::filesystem::create_directories(prefix / "share" / "velmora");
        if (c.marker) std::ofstream(prefix / "share" / "velmora" / "package-managed") << "";
        RecordingShell shell;
        RecordingUpdate update(shell.calls);
        update.version = u"20990101";
        EXPECT_EQ(app::IsPackageManaged(prefix / "bin"), c.marker);
        EXPECT_EQ(app::Main(c.args, prefix / "bin", "BFEBFBFF000906EA", update, shell),
                  app::StartOutcome::Running);
        EXPECT_EQ(shell.calls, c.expected) << "marker=" << c.marker << " args=" << c.args;
    }
}
