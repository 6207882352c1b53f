#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "support/TempDir.h"
#include "support/VendorServer.h"
#include "update/UpdateServices.h"
#include "update/mduAutoUpdate.h"
#include "update/mduUnitId.h"

using namespace velmora;
namespace fs = std::filesystem;
using platform::posix::CurlHttp;

namespace {

std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root))
        out[fs::relative(e.path(), root).string()] =
            e.is_regular_file() ? ReadFile(e.path()) : std::string("<dir>");
    return out;
}

// The update services over the real HTTP backend; the program folder is a temporary one and
// ending the process is only recorded.
struct Client {
    TempDir tmp;
    fs::path dir = tmp.path() / "app";
    platform::fake::FakePlatform f;
    platform::posix::IconvCodePage codePage;
    CurlHttp http;
    platform::Platform pf;
    update::UpdateServices services;

    Client(const std::string& base, CurlHttp::Limits limits = {})
        : http(f.loop, limits),
          pf{.input = f.input,
             .windows = f.windows,
             .clipboard = f.clipboard,
             .screen = f.screen,
             .http = http,
             .regex = f.regex,
             .codePage = codePage,
             .clock = f.clock,
             .loop = f.loop,
             .keyStore = f.keyStore,
             .processorId = f.processorId,
             .process = f.process,
             .messageBox = f.messageBox,
             .accessibility = f.accessibility},
          services(pf, update::UpdateConfig{.baseUrl = base}, http) {
        fs::create_directories(dir);
        WriteFile(dir / "velmora", "old program");
        WriteFile(dir / "lib.so", "old lib");
        f.process.folder = dir;
    }
    bool Download() {
        try {
            services.DownloadUpdate(services.GetUpdateFileList());
        } catch (const platform::fake::FakeExit&) {
            return true;
        }
        return false;
    }
};

struct Offer {
    TempDir files;
    Offer() {
        WriteFile(files.path() / "velmora", "new program");
        WriteFile(files.path() / "lib.so", "new lib");
    }
    std::string dir() const { return files.path().string(); }
};

}  // namespace

TEST(UpdateLoopback, HeartbeatRequestsCarryTheUnitIdAndACounter) {
    VendorServer server({"--version", "20090923"});
    Client c(server.base());
    const std::string id = update::mduUnitId::GetUnitId(c.f.processorId);
    EXPECT_EQ(id, "BFEBFBFF000906EA");  // the fake processor id, unchanged
    EXPECT_EQ(c.services.GetLatestVersion(id), u"20090923");
    c.f.clock.AdvanceMs(601'250);
    EXPECT_EQ(c.services.GetLatestVersion(id), u"20090923");
    auto reqs = server.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    std::regex line(R"(GET /version\.php\?id=BFEBFBFF000906EA&counter=(\d+(\.\d+)?))");
    std::smatch m0, m1;
    ASSERT_TRUE(std::regex_match(reqs[0], m0, line)) << reqs[0];
    ASSERT_TRUE(std::regex_match(reqs[1], m1, line)) << reqs[1];
    EXPECT_NEAR(std::stod(m1[1]) - std::stod(m0[1]), 601.25, 0.01);
}

TEST(UpdateLoopback, OnlyANewerAnnouncedVersionIsAnUpdate) {
    struct Case {
        std::vector<std::string> args;
        std::string answer;
        bool newer;
    };
    const Case cases[] = {
        {{"--version", "20090924"}, "20090924", true},
        {{"--version", "20090923"}, "20090923", false},
        {{"--version", "20090101"}, "20090101", false},
        {{"--version", "20090924", "--fault", "status500"}, "", false},
        {{"--version", "20090924", "--fault", "nomarker"}, "", false},
    };
    for (const auto& cs : cases) {
        VendorServer server(cs.args);
        Client c(server.base());
        const std::u16string wide = c.services.GetLatestVersion("X");
        const std::string answer(wide.begin(), wide.end());
        EXPECT_EQ(answer, cs.answer);
        EXPECT_EQ(update::mduAutoUpdate::IsNewerVersion("20090923", answer), cs.newer);
    }
}

TEST(UpdateLoopback, UnreachableOrSlowServerGivesNoVersionWithinTheLimits) {
    int port;
    {
        VendorServer gone({});
        port = gone.port();
    }
    Client refused("http://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(refused.services.GetLatestVersion("X"), u"");
    EXPECT_THROW(refused.services.GetUpdateFileList(), platform::HttpError);

    VendorServer slow({"--fault", "slow", "--delay-ms", "20000"});
    CurlHttp::Limits limits;
    limits.totalTimeoutMs = 1000;
    Client c(slow.base(), limits);
    EXPECT_EQ(c.services.GetLatestVersion("X"), u"");
}

TEST(UpdateLoopback, DownloadsTheOfferedFilesAndHandsOverToTheScript) {
    Offer offer;
    VendorServer server({"--files", offer.dir()});
    Client c(server.base());
    ASSERT_TRUE(c.Download());
    EXPECT_EQ(ReadFile(c.dir / "dl_files" / "velmora"), "new program");
    EXPECT_EQ(ReadFile(c.dir / "dl_files" / "lib.so"), "new lib");
    EXPECT_EQ(c.f.process.started, std::vector<fs::path>{c.dir / "update.sh"});
    EXPECT_EQ(ReadFile(c.dir / "velmora"), "old program");
}

TEST(UpdateLoopback, DownloadsFollowTheVendorToAMirrorOnAnotherServer) {
    Offer offer;
    VendorServer mirror({"--files", offer.dir()});
    VendorServer vendor({"--files", offer.dir(), "--mirror", mirror.base()});
    Client c(vendor.base());
    ASSERT_TRUE(c.Download());
    EXPECT_EQ(ReadFile(c.dir / "dl_files" / "velmora"), "new program");
    EXPECT_EQ(ReadFile(c.dir / "dl_files" / "lib.so"), "new lib");
    const auto got = mirror.Requests();
    EXPECT_EQ(got, (std::vector<std::string>{"GET /files/lib.so", "GET /files/velmora"}));
}

TEST(UpdateLoopback, FaultyDownloadsLeaveTheInstalledFilesAlone) {
    Offer offer;
    const std::vector<std::vector<std::string>> faults = {
        {"--fault", "tamper"},
        {"--fault", "file404"},
        {"--fault", "file500"},
        {"--fault", "huge", "--huge-bytes", "50000000"}};
    for (const auto& fault : faults) {
        std::vector<std::string> args = {"--files", offer.dir()};
        args.insert(args.end(), fault.begin(), fault.end());
        VendorServer server(args);
        CurlHttp::Limits limits;
        limits.maxBodyBytes = 1u << 20;
        Client c(server.base(), limits);
        auto before = Snapshot(c.tmp.path());
        EXPECT_FALSE(c.Download()) << fault[1];
        EXPECT_EQ(Snapshot(c.tmp.path()), before) << fault[1];
        EXPECT_TRUE(c.f.process.started.empty());
    }
}

TEST(UpdateLoopback, HostileListsWriteNothingOutsideTheDownloadFolder) {
    Offer offer;
    TempDir listDir;
    std::string list;
    const char* names[] = {"../x",
                           "..\\x",
                           "/etc/x",
                           "C:\\x",
                           "C:x",
                           "\\\\h\\s\\x",
                           "x:ads",
                           "CON",
                           "nul.txt",
                           "x.",
                           "x ",
                           "a\"b",
                           "a&b",
                           "a;b",
                           "a%b",
                           "$(x)",
                           "`x`",
                           "",
                           "\xC0\xAF"
                           "x"};
    for (const char* n : names)
        list += "<url>http://127.0.0.1:1/files/x," + std::string(n) + "</url>\r\n";
    list += "<url>file:///etc/passwd,passwd</url>\r\n";
    WriteFile(listDir.path() / "list", list);
    VendorServer server({"--list", (listDir.path() / "list").string(), "--files", offer.dir()});
    Client c(server.base());
    auto before = Snapshot(c.tmp.path());
    EXPECT_FALSE(c.Download());
    EXPECT_EQ(Snapshot(c.tmp.path()), before);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"GET /last_files.php"});
}
