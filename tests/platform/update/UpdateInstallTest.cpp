#include <dirent.h>
#include <gtest/gtest.h>

#include <iostream>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "support/PollUntil.h"
#include "support/Spawn.h"
#include "support/TempDir.h"
#include "support/VendorServer.h"

namespace fs = std::filesystem;

namespace {

std::string BuildDir() {
    const char* b = std::getenv("VELMORA_BUILD_DIR");
    return b ? b : ".";
}

std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root))
        out[fs::relative(e.path(), root).string()] =
            e.is_regular_file() ? ReadFile(e.path()) : std::string("<dir>");
    return out;
}

// Replaces every occurrence of from by to (same length) in the bytes.
std::string Patch(std::string bytes, const std::string& from, const std::string& to) {
    int n = 0;
    for (std::size_t p = bytes.find(from); p != std::string::npos; p = bytes.find(from, p + 1)) {
        bytes.replace(p, to.size(), to);
        ++n;
    }
    if (n == 0) throw std::runtime_error("nothing to patch: " + from);
    return bytes;
}

void CopyExecutable(const fs::path& from, const fs::path& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

// Runs the program with the update URL (and a private config folder) and waits for it.
int RunProgram(const fs::path& program, const std::string& updateUrl, const fs::path& config,
               const std::vector<std::string>& args = {}) {
    std::vector<std::string> a = {program.string()};
    a.insert(a.end(), args.begin(), args.end());
    const pid_t pid = velmora::testing::Spawn(
        a, {{"VELMORA_UPDATE_URL", updateUrl}, {"XDG_CONFIG_HOME", config.string()}});
    if (pid < 0) return -1;
    // Bounded: a run that opened its main window instead of ending would wait forever.
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << program << " did not end within 120 s";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts the program in the background with the vendor addresses and a private config folder.
pid_t Spawn(const fs::path& program, const std::string& vendorBase, const fs::path& config) {
    return velmora::testing::Spawn(
        {program.string()}, {{"VELMORA_UPDATE_URL", vendorBase},
                             {"VELMORA_PAGE_BASE", vendorBase.substr(vendorBase.find("//") + 2)},
                             {"XDG_CONFIG_HOME", config.string()}});
}

// Whether process pid shows a window whose title holds the text (xdotool reads _NET_WM_PID).
bool HasWindow(pid_t pid, const std::string& title) {
    std::string cmd = "xdotool search --onlyvisible --pid " + std::to_string(pid) + " --name '" +
                      title + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Sends SIGTERM and waits (bounded) for the end; a process that outlives it is described (its
// threads' state and signal masks), then killed, so it cannot stay behind for later tests.
bool EndsOnSigterm(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
        usleep(50'000);
    }
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (auto& t : fs::directory_iterator(dir, ec)) {
        std::ifstream status(t.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("Name") || line.starts_with("State") || line.starts_with("Sig") ||
                line.starts_with("ShdPnd"))
                std::cerr << t.path().filename().string() << " " << line << "\n";
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
}

// Processes whose executable is this file.
std::vector<pid_t> RunningAs(const fs::path& program) {
    std::vector<pid_t> pids;
    for (auto& e : fs::directory_iterator("/proc")) {
        std::error_code ec;
        auto exe = fs::read_symlink(e.path() / "exe", ec);
        if (!ec && exe == program) pids.push_back(std::stoi(e.path().filename().string()));
    }
    return pids;
}

// An installed copy of the update driver in parent/app, offered a newer build by the server.
struct Installation {
    TempDir tmp;
    fs::path parent = tmp.path() / "parent";
    fs::path app = parent / "app";
    fs::path offer = tmp.path() / "offer";
    fs::path config = tmp.path() / "config";
    std::string oldProgram, newProgram;

    Installation() {
        fs::create_directories(app);
        fs::create_directories(offer);
        const fs::path driver = BuildDir() + "/tests/platform/update/update-driver";
        CopyExecutable(driver, app / "velmora");
        oldProgram = ReadFile(app / "velmora");
        newProgram = Patch(oldProgram, "VERSION=20090923", "VERSION=20090924");
        WriteFile(offer / "velmora", newProgram);
        WriteFile(app / "data.txt", "old data");
        WriteFile(offer / "data.txt", "new data");
    }
    std::string Log() { return ReadFile(app / "run.log"); }
};

}  // namespace

TEST(UpdateInstall, DownloadsReplacesRestartsAndTheNewBuildRuns) {
    Installation in;
    VendorServer server({"--version", "20090924", "--files", in.offer.string()});
    ASSERT_EQ(RunProgram(in.app / "velmora", server.base(), in.config), 0);
    // The old build ended without a main window; the script restarts the new one.
    ASSERT_TRUE(
        PollUntil([&] { return in.Log().find("main 20090924") != std::string::npos; }, 30000))
        << in.Log();
    EXPECT_EQ(in.Log(), "start 20090923\nstart 20090924\nmain 20090924\n");
    EXPECT_EQ(ReadFile(in.app / "velmora"), in.newProgram);
    EXPECT_EQ(ReadFile(in.app / "data.txt"), "new data");
    EXPECT_NE(fs::status(in.app / "velmora").permissions() & fs::perms::owner_exec,
              fs::perms::none);
    // The new build cleaned up after the update on its start.
    std::set<std::string> left;
    for (auto& e : fs::directory_iterator(in.app)) left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"velmora", "data.txt", "run.log"}));
    auto reqs = server.Requests();
    EXPECT_EQ(std::count_if(reqs.begin(), reqs.end(),
                            [](auto& r) { return r.rfind("GET /version.php?id=", 0) == 0; }),
              2);
}

TEST(UpdateInstall, FailedOrTamperedDownloadsLeaveTheInstallationByteIdentical) {
    const std::vector<std::vector<std::string>> faults = {
        {"--fault", "tamper"}, {"--fault", "file404"}, {"--fault", "list500"}};
    for (const auto& fault : faults) {
        Installation in;
        std::vector<std::string> args = {"--version", "20090924", "--files", in.offer.string()};
        args.insert(args.end(), fault.begin(), fault.end());
        VendorServer server(args);
        auto before = Snapshot(in.parent);
        ASSERT_EQ(RunProgram(in.app / "velmora", server.base(), in.config), 0);
        EXPECT_EQ(in.Log(), "start 20090923\nupdate abandoned\nmain 20090923\n") << fault[1];
        auto after = Snapshot(in.parent);
        after.erase("app/run.log");
        EXPECT_EQ(after, before) << fault[1];
    }
    Installation in;
    int port;
    {
        VendorServer gone({});
        port = gone.port();
    }
    ASSERT_EQ(RunProgram(in.app / "velmora", "http://127.0.0.1:" + std::to_string(port), in.config),
              0);
    EXPECT_EQ(in.Log(), "start 20090923\nmain 20090923\n");
}

TEST(UpdateInstall, HostileEntriesWriteNothingOutsideTheDownloadFolder) {
    Installation in;
    VendorServer files({"--files", in.offer.string()});
    std::string list;
    for (const char* n :
         {"../escaped", "..\\escaped", "/tmp/escaped", "a;touch escaped", "$(x)", "update.sh"})
        list += "<url>" + files.base() + "/files/data.txt," + n + "</url>\r\n";
    list += "<url>" + files.base() + "/files/velmora,velmora</url>\r\n";
    WriteFile(in.tmp.path() / "list", list);
    VendorServer server({"--version", "20090924", "--list", (in.tmp.path() / "list").string()});
    auto before = Snapshot(in.tmp.path());
    ASSERT_EQ(RunProgram(in.app / "velmora", server.base(), in.config), 0);
    ASSERT_TRUE(
        PollUntil([&] { return in.Log().find("main 20090924") != std::string::npos; }, 30000))
        << in.Log();
    auto after = Snapshot(in.tmp.path());
    EXPECT_EQ(after["parent/app/velmora"], in.newProgram);
    for (const char* changed : {"parent/app/velmora", "parent/app/run.log"}) {
        after.erase(changed);
        before.erase(changed);
    }
    EXPECT_EQ(after, before);
}

// The companion itself, when it has been built: a copy announces and installs a newer build of
// itself, and the restarted build is the new one.
TEST(UpdateInstall, TheCompanionUpdatesItself) {
    const fs::path velmora = BuildDir() + "/src/app/velmora";
    if (!fs::exists(velmora)) GTEST_SKIP() << "no companion build at " << velmora;
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "the restarted companion needs a display";
    TempDir tmp;
    const fs::path app = tmp.path() / "app";
    const fs::path offer = tmp.path() / "offer";
    fs::create_directories(app);
    fs::create_directories(offer);
    CopyExecutable(velmora, app / "velmora");
    const std::string newBuild = Patch(ReadFile(app / "velmora"), "20090923", "20090924");
    WriteFile(offer / "velmora", newBuild);

    ASSERT_EQ(
        RunProgram(app / "velmora", "http://127.0.0.1:1", tmp.path() / "config", {"-version"}), 0);
    EXPECT_EQ(ReadFile(app / "version.php"), "<version>20090923</version>\r\n");

    VendorServer server({"--version", "20090924", "--files", offer.string()});
    RunProgram(app / "velmora", server.base(), tmp.path() / "config");
    ASSERT_TRUE(PollUntil([&] { return ReadFile(app / "velmora") == newBuild; }, 30000));
    // The restarted companion is the new build, running with its main window.
    ASSERT_TRUE(PollUntil([&] { return !RunningAs(app / "velmora").empty(); }, 30000));
    EXPECT_TRUE(PollUntil([&] { return !fs::exists(app / "dl_files"); }, 30000));
    for (pid_t p : RunningAs(app / "velmora")) kill(p, SIGTERM);
    PollUntil([&] { return RunningAs(app / "velmora").empty(); }, 10000);
    ASSERT_EQ(
        RunProgram(app / "velmora", "http://127.0.0.1:1", tmp.path() / "config", {"-version"}), 0);
    EXPECT_EQ(ReadFile(app / "version.php"), "<version>20090924</version>\r\n");
}

// With the vendor server down, or offering a tampered build, the companion keeps its installed
// files and opens its main window.
TEST(UpdateInstall, TheCompanionOpensItsMainWindowWhenTheUpdateCannotHappen) {
    const fs::path velmora = BuildDir() + "/src/app/velmora";
    if (!fs::exists(velmora)) GTEST_SKIP() << "no companion build at " << velmora;
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "the main window needs a display";
    for (bool serverUp : {false, true}) {
        TempDir tmp;
        const fs::path app = tmp.path() / "app";
        const fs::path offer = tmp.path() / "offer";
        fs::create_directories(app);
        fs::create_directories(offer);
        CopyExecutable(velmora, app / "velmora");
        WriteFile(offer / "velmora", Patch(ReadFile(app / "velmora"), "20090923", "20090924"));
        std::string base = "http://127.0.0.1:1";
        std::unique_ptr<VendorServer> server;
        if (serverUp) {
            server = std::make_unique<VendorServer>(std::vector<std::string>{
                "--version", "20090924", "--files", offer.string(), "--fault", "tamper"});
            base = server->base();
        }
        auto before = Snapshot(tmp.path() / "app");
        pid_t pid = Spawn(app / "velmora", base, tmp.path() / "config");
        EXPECT_TRUE(PollUntil([&] { return HasWindow(pid, "Quillet2009"); }, 30000)) << serverUp;
        EXPECT_EQ(Snapshot(tmp.path() / "app"), before) << serverUp;
        if (server) {
            // The server logs a request once it has answered it: allow it that moment.
            EXPECT_TRUE(PollUntil(
                [&] {
                    auto reqs = server->Requests();
                    return std::find(reqs.begin(), reqs.end(), "GET /files/velmora") != reqs.end();
                },
                30000));
        }
        EXPECT_TRUE(EndsOnSigterm(pid)) << serverUp;
    }
}
