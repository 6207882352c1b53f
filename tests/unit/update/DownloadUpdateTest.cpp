#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "platform/fake/FakePlatform.h"
#include "support/TempDir.h"
#include "update/Sha256.h"
#include "update/UpdateScript.h"
#include "update/mduAutoUpdate.h"

namespace au = velmora::update::mduAutoUpdate;
namespace fs = std::filesystem;
using velmora::platform::HttpError;
using velmora::platform::HttpRequest;
using velmora::platform::HttpResponse;
using velmora::platform::fake::FakeExit;
using velmora::platform::fake::FakePlatform;
using velmora::update::Sha256;
using velmora::update::ToHex;
using velmora::update::UpdateConfig;

namespace {

// The script this build writes: a shell script on Linux, a batch file on Windows.
#ifdef _WIN32
const std::string kScript = velmora::update::kWindowsUpdateScriptName;
#else
const std::string kScript = velmora::update::kUpdateScriptName;
#endif

std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        std::string key = fs::relative(e.path(), root).string();
        out[key] = e.is_regular_file() ? ReadFile(e.path()) : std::string("<dir>");
    }
    return out;
}

std::u16string U(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

struct Fixture {
    TempDir tmp;
    fs::path dir = tmp.path() / "app";
    FakePlatform f;
    std::map<std::string, HttpResponse> served;  // by URL; missing: transport failure
    UpdateConfig config;

    Fixture() {
        fs::create_directories(dir);
        WriteFile(dir / "velmora", "old program");
        fs::permissions(dir / "velmora", fs::perms::owner_all | fs::perms::group_read);
        WriteFile(dir / "lib.so", "old lib");
        f.process.folder = dir;
        f.http.handler = [this](const HttpRequest& r) {
            auto it = served.find(r.url);
            if (it == served.end()) throw HttpError("refused");
            return it->second;
        };
        served["http://h/velmora"] = {200, "new program"};
        served["http://h/lib.so"] = {200, "new lib"};
    }
    std::u16string Entry(const std::string& file, bool withHash = true) {
        std::string e = "http://h/" + file + "," + file;
        if (withHash) e += "," + ToHex(Sha256(served["http://h/" + file].body));
        return U(e);
    }
    // Runs the download; true when it ended the process (the update went ahead).
    bool Run(const std::vector<std::u16string>& list) {
        auto pf = f.platform();
        try {
            au::DownloadUpdate(pf, f.http, config, list);
        } catch (const FakeExit&) {
            return true;
        }
        return false;
    }
};

}  // namespace

TEST(DownloadUpdate, DownloadsEveryFileWritesTheScriptStartsItAndEnds) {
    Fixture x;
    auto before = Snapshot(x.tmp.path());
    ASSERT_TRUE(x.Run({x.Entry("velmora"), x.Entry("lib.so", false)}));
    EXPECT_EQ(ReadFile(x.dir / "dl_files" / "velmora"), "new program");
    EXPECT_EQ(ReadFile(x.dir / "dl_files" / "lib.so"), "new lib");
    // The installed files are replaced only by the script, after this process has ended.
    EXPECT_EQ(ReadFile(x.dir / "velmora"), "old program");
    EXPECT_EQ(fs::status(x.dir / "dl_files" / "velmora").permissions(),
              fs::status(x.dir / "velmora").permissions());
    ASSERT_EQ(x.f.process.started, std::vector<fs::path>{x.dir / kScript});
#ifndef _WIN32
    // The shell script's lines.
    std::string script = ReadFile(x.dir / kScript);
    EXPECT_NE(script.find("dl_files/velmora"), std::string::npos);
    EXPECT_NE(script.find("dl_files/lib.so"), std::string::npos);
#endif
    auto after = Snapshot(x.tmp.path());
    after.erase((fs::path("app") / "dl_files").string());
    after.erase((fs::path("app") / "dl_files" / "velmora").string());
    after.erase((fs::path("app") / "dl_files" / "lib.so").string());
    after.erase((fs::path("app") / kScript).string());
    EXPECT_EQ(after, before);
}

TEST(DownloadUpdate, HostileEntriesAreSkippedAndWriteNothingOutsideTheDownloadFolder) {
    Fixture x;
    const char* names[] = {"../evil", "..\\evil",   "/tmp/evil", "C:evil",
                           "a;b",     "$(touch x)", "update.sh", "x."};
    x.served["http://h/e"] = {200, "evil"};
    std::vector<std::u16string> list;
    for (const char* n : names) {
        list.push_back(U(std::string("http://h/e,") + n));
    }
    list.push_back(U("file:///etc/passwd,passwd"));
    list.push_back(x.Entry("velmora"));
    ASSERT_TRUE(x.Run(list));
    std::vector<std::string> inDl;
    for (auto& e : fs::directory_iterator(x.dir / "dl_files"))
        inDl.push_back(e.path().filename().string());
    EXPECT_EQ(inDl, std::vector<std::string>{"velmora"});
    EXPECT_EQ(x.f.http.requests.size(), 1u);
    EXPECT_EQ(ReadFile(x.dir / kScript).find("evil"), std::string::npos);
}

TEST(DownloadUpdate, AFileNotObtainedIntactAbandonsTheWholeUpdate) {
    struct Case {
        const char* what;
        std::function<void(Fixture&)> spoil;
    };
    const Case cases[] = {
        {"status 500", [](Fixture& x) { x.served["http://h/lib.so"].status = 500; }},
        {"status 404", [](Fixture& x) { x.served["http://h/lib.so"].status = 404; }},
        {"unreachable", [](Fixture& x) { x.served.erase("http://h/lib.so"); }},
        {"too large", [](Fixture& x) { x.config.maxFileBytes = 7; }},
        {"tampered", [](Fixture& x) { x.served["http://h/lib.so"].body = "evil lib"; }},
        {"script not writable", [](Fixture& x) { fs::create_directory(x.dir / kScript); }},
    };
    for (const auto& c : cases) {
        Fixture x;
        std::vector<std::u16string> list = {x.Entry("velmora"), x.Entry("lib.so")};
        c.spoil(x);
        auto before = Snapshot(x.tmp.path());
        EXPECT_FALSE(x.Run(list)) << c.what;
        EXPECT_TRUE(x.f.process.started.empty()) << c.what;
        EXPECT_FALSE(fs::exists(x.dir / "dl_files")) << c.what;
        EXPECT_EQ(Snapshot(x.tmp.path()), before) << c.what;
    }
}

TEST(DownloadUpdate, NothingUsableMeansNoUpdateAndNoRequest) {
    Fixture x;
    EXPECT_FALSE(x.Run({}));
    EXPECT_FALSE(x.Run({u"http://h/a", u"ftp://h/a,a", u"http://h/a,../a"}));
    EXPECT_TRUE(x.f.http.requests.empty());
    EXPECT_TRUE(x.f.process.started.empty());
    EXPECT_FALSE(fs::exists(x.dir / "dl_files"));
}

// Symbolic links: POSIX.
#ifndef _WIN32
TEST(CleanUpdateFiles, RemovesLeftoversAndNeverFollowsALink) {
    Fixture x;
    fs::create_directories(x.dir / "dl_files");
    WriteFile(x.dir / "dl_files" / "velmora", "x");
    WriteFile(x.dir / "update.sh", "x");
    au::CleanUpdateFiles(x.dir);
    EXPECT_FALSE(fs::exists(x.dir / "dl_files"));
    EXPECT_FALSE(fs::exists(x.dir / "update.sh"));
    EXPECT_TRUE(fs::exists(x.dir / "velmora"));

    fs::path elsewhere = x.tmp.path() / "elsewhere";
    fs::create_directories(elsewhere);
    WriteFile(elsewhere / "keep", "k");
    fs::create_directory_symlink(elsewhere, x.dir / "dl_files");
    au::CleanUpdateFiles(x.dir);
    EXPECT_FALSE(fs::exists(fs::symlink_status(x.dir / "dl_files")));
    EXPECT_EQ(ReadFile(elsewhere / "keep"), "k");

    au::CleanUpdateFiles(x.tmp.path() / "missing");  // nothing there: no failure
}
#endif

// Runs the shell script.
#ifndef _WIN32
TEST(DownloadUpdate, RefusedNamesAreSkippedAndTheRestIsInstalled) {
    Fixture x;
    // The new program only says it ran, so the script's restart can be seen.
    x.served["http://h/velmora"] = {200, "#!/bin/sh\necho started > \"$(dirname \"$0\")/ran\"\n"};
    x.served["http://h/e"] = {200, "refused"};
    std::vector<std::u16string> list = {U("http://h/e,nul.txt"), x.Entry("velmora"),
                                        U("http://h/e,a\"b"),    U("http://h/e,dl_files"),
                                        x.Entry("lib.so"),       u"http://h/e,bj\u00F6rn"};
    ASSERT_TRUE(x.Run(list));
    ASSERT_EQ(x.f.process.started, std::vector<fs::path>{x.dir / "update.sh"});
    // Run the script as the detached process would (no process to wait for).
    ASSERT_EQ(std::system(("sh '" + (x.dir / "update.sh").string() + "'").c_str()), 0);
    EXPECT_EQ(ReadFile(x.dir / "lib.so"), "new lib");
    EXPECT_EQ(ReadFile(x.dir / "velmora"), x.served["http://h/velmora"].body);
    EXPECT_EQ(ReadFile(x.dir / "ran"), "started\n");
    EXPECT_FALSE(fs::exists(x.dir / "nul.txt"));
    EXPECT_EQ(x.f.http.requests.size(), 2u);
}
#endif

// Symbolic links: POSIX.
#ifndef _WIN32
TEST(CleanUpdateFiles, RemovesFoldersInsideWithoutFollowingLinks) {
    Fixture x;
    const fs::path elsewhere = x.tmp.path() / "elsewhere";
    fs::create_directories(elsewhere / "sub");
    WriteFile(elsewhere / "keep", "k");
    WriteFile(elsewhere / "sub" / "keep", "k");
    const fs::path dl = x.dir / "dl_files";
    fs::create_directories(dl / "old" / "deeper");
    WriteFile(dl / "old" / "deeper" / "f", "x");
    fs::create_directory_symlink(elsewhere, dl / "link");
    fs::create_directory_symlink(elsewhere / "sub", dl / "old" / "link");
    fs::create_symlink(elsewhere / "keep", dl / "old" / "deeper" / "file-link");
    au::CleanUpdateFiles(x.dir);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dl)));
    EXPECT_EQ(ReadFile(elsewhere / "keep"), "k");
    EXPECT_EQ(ReadFile(elsewhere / "sub" / "keep"), "k");
    EXPECT_EQ(ReadFile(x.dir / "velmora"), "old program");
}
#endif

TEST(DownloadUpdate, AFolderLeftInTheDownloadFolderNoLongerBlocksTheUpdate) {
    Fixture x;
    fs::create_directories(x.dir / "dl_files" / "left" / "over");
    WriteFile(x.dir / "dl_files" / "left" / "over" / "f", "x");
    ASSERT_TRUE(x.Run({x.Entry("velmora"), x.Entry("lib.so")}));
    EXPECT_EQ(ReadFile(x.dir / "dl_files" / "lib.so"), "new lib");
    EXPECT_FALSE(fs::exists(x.dir / "dl_files" / "left"));
}
