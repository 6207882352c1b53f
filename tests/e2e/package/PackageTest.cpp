#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/Configuration.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kId = "org.velmora.Velmora";

struct Result {
    int status = -1;
    std::string output;  // standard output and error together
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Result Shell(const std::string& command) {
    Result r;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.output.append(buf, n);
    const int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// Builds the package once for every test: cpack in the build folder, output in a temporary one.
class Package : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const char* build = std::getenv("VELMORA_BUILD_DIR");
        ASSERT_NE(build, nullptr);
        char tmpl[] = "/tmp/velmora-deb-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        work_ = new fs::path(tmpl);
        const Result cpack = Shell("cd " + Quote(build) + " && " + Quote(VELMORA_CPACK) +
                                   " -G DEB -B " + Quote((*work_ / "out").string()));
        ASSERT_EQ(cpack.status, 0) << cpack.output;
        for (const auto& e : fs::directory_iterator(*work_ / "out"))
            if (e.path().extension() == ".deb") deb_ = new fs::path(e.path());
        ASSERT_NE(deb_, nullptr) << cpack.output;
        const Result x =
            Shell("dpkg-deb -x " + Quote(deb_->string()) + " " + Quote((*work_ / "root").string()));
        ASSERT_EQ(x.status, 0) << x.output;
    }
    static void TearDownTestSuite() {
        if (work_) fs::remove_all(*work_);
        delete work_;
        delete deb_;
        work_ = deb_ = nullptr;
    }
    void SetUp() override {
        if (!deb_) GTEST_SKIP() << "no package was built";
    }
    static fs::path Root() { return *work_ / "root"; }
    static std::string Field(const std::string& name) {
        return Trimmed(Shell("dpkg-deb -f " + Quote(deb_->string()) + " " + name).output);
    }

    static fs::path* work_;
    static fs::path* deb_;
};

fs::path* Package::work_ = nullptr;
fs::path* Package::deb_ = nullptr;

TEST_F(Package, NamedAfterTheProjectVersionWithTheDebianControlFields) {
    const std::string version = Field("Version");
    EXPECT_EQ(version.rfind(std::string(VELMORA_PROJECT_VERSION) + "-", 0), 0u) << version;
    EXPECT_EQ(deb_->filename().string(), "velmora_" + version + "_amd64.deb");
    EXPECT_EQ(Field("Package"), "velmora");
    EXPECT_EQ(Field("Architecture"), "amd64");
    EXPECT_FALSE(Field("Section").empty());
    EXPECT_FALSE(Field("Maintainer").empty());
    // Computed from the program's libraries, so Qt must be there.
    EXPECT_NE(Field("Depends").find("libqt6widgets6"), std::string::npos) << Field("Depends");
    // Built against Qt's platform layer: only that Qt release will do.
    EXPECT_NE(Field("Depends").find("qt6-base-abi (= 6."), std::string::npos) << Field("Depends");
    const std::string recommends = Field("Recommends");
    for (const char* pair :
         {"apertium,", "apertium-eng-spa", "apertium-eng-cat", "apertium-en-gl", "apertium-eo-en"})
        EXPECT_NE(recommends.find(pair), std::string::npos) << pair << " in " << recommends;
}

TEST_F(Package, HoldsTheProgramAndItsDataAndNothingElse) {
    const std::string id = kId;
    const char* sizes[] = {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"};
    std::vector<std::string> expected = {
        "usr/bin/velmora",
        "usr/share/velmora/package-managed",
        "usr/share/applications/" + id + ".desktop",
        "usr/share/metainfo/" + id + ".metainfo.xml",
        "usr/share/icons/hicolor/scalable/apps/" + id + ".svg",
        "usr/share/man/man1/velmora.1.gz",
        "usr/share/doc/velmora/copyright",
        "usr/share/doc/velmora/changelog.Debian.gz",
    };
    for (const char* s : sizes)
        expected.push_back(std::string("usr/share/icons/hicolor/") + s + "/apps/" + id + ".png");
    for (const auto& f : expected) EXPECT_TRUE(fs::is_regular_file(Root() / f)) << f;

    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(Root())) {
        if (!e.is_regular_file()) continue;
        ++files;
        const std::string rel = fs::relative(e.path(), Root()).string();
        EXPECT_NE(std::find(expected.begin(), expected.end(), rel), expected.end())
            << "unexpected file " << rel;
    }
    EXPECT_EQ(files, expected.size());
    EXPECT_EQ(::access((Root() / "usr/bin/velmora").c_str(), X_OK), 0);
    // Each PNG has the size its folder names: bytes 16..23 of the header are width and height.
    for (const char* s : sizes) {
        const std::string png =
            ReadAll(Root() / "usr/share/icons/hicolor" / s / "apps" / (id + ".png"));
        ASSERT_GT(png.size(), 24u) << s;
        const int w =
            (static_cast<unsigned char>(png[18]) << 8) | static_cast<unsigned char>(png[19]);
        EXPECT_EQ(std::to_string(w) + "x" + std::to_string(w), s);
    }
}

TEST_F(Package, InstalledProgramWritesItsVersionBesideItself) {
    const fs::path program = Root() / "usr/bin/velmora";
    const Result r = Shell(Quote(program.string()) + " -version");
    EXPECT_EQ(r.status, 0) << r.output;
    std::string digits = VELMORA_PROJECT_VERSION;
    std::erase(digits, '.');
    EXPECT_EQ(ReadAll(Root() / "usr/bin/version.php"), "<version>" + digits + "</version>\r\n");
    fs::remove(Root() / "usr/bin/version.php");
}

TEST_F(Package, DesktopEntryAndManualPageSayWhatUsersNeed) {
    const std::string id = kId;
    const std::string desktop = ReadAll(Root() / "usr/share/applications" / (id + ".desktop"));
    const std::string lines[] = {
        "Name=", "Name[zh_CN]=", "Comment=", "Comment[zh_CN]=",
        // KWin grants fake input and screenshots by this path.
        "Exec=/usr/bin/velmora\n", "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n",
        "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n", "Icon=" + id + "\n",
        "Categories=Network;InstantMessaging;Utility;\n"};
    for (const auto& line : lines) EXPECT_NE(desktop.find("\n" + line), std::string::npos) << line;
    const std::string metainfo = ReadAll(Root() / "usr/share/metainfo" / (id + ".metainfo.xml"));
    EXPECT_NE(metainfo.find(">" + id + ".desktop</launchable>"), std::string::npos);
    EXPECT_NE(metainfo.find("<release version=\"" VELMORA_PROJECT_VERSION "\""), std::string::npos);

    const std::string man =
        Shell("gzip -dc " + Quote((Root() / "usr/share/man/man1/velmora.1.gz").string())).output;
    std::vector<std::string> documented = {"\\-s", "\\-version", "\\-\\-trigger inplace",
                                           "velmora.conf", ".SH FILES"};
    // Every variable the program reads, straight from its configuration table.
    for (const auto& row : velmora::app::ConfigTable())
        if (!row.env.empty()) documented.emplace_back(row.env);
    for (const auto& engine : velmora::app::KnownEngines()) documented.push_back(".B " + engine);
    for (const auto& word : documented)
        EXPECT_NE(man.find(word), std::string::npos) << word << " missing from the manual page";
}

TEST_F(Package, DebianToolsFindNoErrors) {
    const std::string id = kId;
    struct Check {
        std::string what;
        std::string command;
    };
    const Check checks[] = {
        {"lintian", "lintian --fail-on error " + Quote(deb_->string())},
        // Built as Debian builds its own packages; lintian names what is missing.
        {"hardening",
         "lintian --display-level '>=pedantic' --tags "
         "hardening-no-bindnow,hardening-no-relro,hardening-no-fortify-functions " +
             Quote(deb_->string()) + " | (! grep .)"},
        {"desktop-file-validate",
         "desktop-file-validate " +
             Quote((Root() / "usr/share/applications" / (id + ".desktop")).string())},
        {"appstreamcli",
         "appstreamcli validate --no-net " +
             Quote((Root() / "usr/share/metainfo" / (id + ".metainfo.xml")).string())},
        {"man", "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l " +
                    Quote((Root() / "usr/share/man/man1/velmora.1.gz").string()) +
                    " 2>&1 >/dev/null | (! grep .)"},
    };
    for (const auto& c : checks) {
        const Result r = Shell(c.command);
        EXPECT_EQ(r.status, 0) << c.what << ":\n" << r.output;
        // Warnings do not fail the test; they are shown for whoever reads the log.
        if (!r.output.empty()) std::printf("%s:\n%s\n", c.what.c_str(), r.output.c_str());
    }
}

}  // namespace
