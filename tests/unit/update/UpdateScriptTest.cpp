#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "support/TempDir.h"
#include "update/UpdateScript.h"

using namespace velmora::update;
namespace fs = std::filesystem;

namespace {

int CountLines(const std::string& text, const std::string& prefix) {
    int n = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end - pos);
        if (line.rfind(prefix, 0) == 0) ++n;
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return n;
}

// A program folder holding an old "velmora" (a script that records which build ran) and an old
// library, with new copies in dl_files.
struct Install {
    TempDir tmp;
    fs::path dir = tmp.path() / "prog dir 'q' $x";
    fs::path dl = dir / "dl_files";
    fs::path marker = tmp.path() / "ran";

    Install() {
        fs::create_directories(dl);
        WriteProgram(dir / "velmora", "old");
        WriteFile(dir / "lib.so", "old lib");
        WriteProgram(dl / "velmora", "new");
        WriteFile(dl / "lib.so", "new lib");
    }
    void WriteProgram(const fs::path& p, const std::string& build) {
        WriteFile(p, "#!/bin/sh\necho " + build + " > '" + marker.string() + "'\n");
        fs::permissions(p, fs::perms::owner_all);
    }
    int Run(const std::vector<std::string>& names, const std::string& pid = "") {
        WriteFile(dir / "update.sh", UpdateScriptText(dir.string(), "velmora", names));
        std::string cmd = "sh " + ShellQuote((dir / "update.sh").string()) + " " + pid;
        return std::system(cmd.c_str());
    }
};

}  // namespace

TEST(UpdateScript, OneCopyAndOneRenamePerFileThenTheRestart) {
    std::string two = UpdateScriptText("/opt/v", "velmora", {"velmora", "lib.so"});
    EXPECT_EQ(CountLines(two, "cp -p -- '/opt/v/dl_files/velmora' '/opt/v/.velmora.update-new'"),
              1);
    EXPECT_EQ(CountLines(two, "cp -p -- '/opt/v/dl_files/lib.so' '/opt/v/.lib.so.update-new'"), 1);
    EXPECT_LT(two.find("dl_files/velmora"), two.find("dl_files/lib.so"));
    EXPECT_EQ(CountLines(two, "  mv -f -- "), 2);
    EXPECT_EQ(two.substr(two.rfind("exec")), "exec '/opt/v/velmora'\n");
    EXPECT_EQ(two.find('\r'), std::string::npos);

    std::string none = UpdateScriptText("/opt/v", "velmora", {});
    EXPECT_EQ(CountLines(none, "cp "), 0);
    EXPECT_EQ(CountLines(none, "  mv "), 0);
    EXPECT_EQ(CountLines(none, "exec '/opt/v/velmora'"), 1);
}

TEST(UpdateScript, ShellQuoteSurvivesTheShell) {
    const std::string words[] = {"plain", "a b", "it's", "$(touch x)", "`x`", "a\"b\\c", ""};
    for (const auto& w : words) {
        std::string out;
        FILE* p = popen(("printf '%s' " + ShellQuote(w)).c_str(), "r");
        char buf[256];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
        EXPECT_EQ(out, w);
    }
}

TEST(UpdateScript, ReplacesEveryFileAndStartsTheNewBuild) {
    Install in;
    ASSERT_EQ(in.Run({"velmora", "lib.so"}), 0);
    EXPECT_EQ(ReadFile(in.marker), "new\n");
    EXPECT_EQ(ReadFile(in.dir / "lib.so"), "new lib");
    EXPECT_FALSE(fs::exists(in.dir / ".velmora.update-new"));
    EXPECT_FALSE(fs::exists(in.dir / ".lib.so.update-new"));
    EXPECT_NE(fs::status(in.dir / "velmora").permissions() & fs::perms::owner_exec,
              fs::perms::none);
}

TEST(UpdateScript, AMissingDownloadReplacesNothingAndStartsTheOldBuild) {
    Install in;
    fs::remove(in.dl / "lib.so");
    in.Run({"velmora", "lib.so"});
    EXPECT_EQ(ReadFile(in.marker), "old\n");
    EXPECT_EQ(ReadFile(in.dir / "lib.so"), "old lib");
    EXPECT_FALSE(fs::exists(in.dir / ".velmora.update-new"));
}

TEST(UpdateScript, WaitsUntilTheStartingProcessHasEnded) {
    Install in;
    pid_t child = fork();
    if (child == 0) {
        usleep(400 * 1000);
        _exit(0);
    }
    auto start = std::chrono::steady_clock::now();
    // The child is never reaped while the script runs: its zombie counts as ended.
    ASSERT_EQ(in.Run({"velmora"}, std::to_string(child)), 0);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(350));
    EXPECT_LT(waited, std::chrono::seconds(20));
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), child);  // it had ended before the script did
    EXPECT_EQ(ReadFile(in.marker), "new\n");
}
