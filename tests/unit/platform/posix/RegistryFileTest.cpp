#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/posix/DesktopEntry.h"
#include "platform/posix/RegistryFile.h"
#include "support/TempDir.h"

using namespace velmora::platform::posix;
using velmora::platform::RootKey;
namespace fs = std::filesystem;

namespace {
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct Store {
    TempDir tmp;
    fs::path autostart = tmp.path() / "auto";
    RegistryFile store{tmp.path() / "cfg", autostart};
};
}  // namespace

TEST(RegistryFile, KeysAndValuesPersistAcrossInstancesWithRegistryCaseRules) {
    Store s;
    EXPECT_FALSE(s.store.KeyExists(RootKey::CurrentUser, "Software\\Velmora"));
    EXPECT_FALSE(s.store.WriteValue(RootKey::CurrentUser, "Software\\Velmora", "a", "1"));
    ASSERT_TRUE(s.store.CreateKey(RootKey::CurrentUser, "Software\\Velmora\\Deep"));
    EXPECT_TRUE(s.store.KeyExists(RootKey::CurrentUser, "software\\velmora"));  // parents too
    EXPECT_FALSE(s.store.KeyExists(RootKey::LocalMachine, "Software\\Velmora"));
    EXPECT_TRUE(s.store.KeyExists(RootKey::Users, ""));  // a root always exists
    const std::string odd = std::string("a=b[c]%d\\e\n\r\0\xB0\xA1 end ", 20);
    ASSERT_TRUE(s.store.WriteValue(RootKey::CurrentUser, "Software\\Velmora", "Odd=Name", odd));
    ASSERT_TRUE(
        s.store.WriteValue(RootKey::CurrentUser, "Software\\Velmora", "odd=name", odd + "2"));

    RegistryFile again(s.tmp.path() / "cfg", s.autostart);
    EXPECT_EQ(again.ReadValue(RootKey::CurrentUser, "SOFTWARE\\VELMORA", "ODD=NAME"), odd + "2");
    EXPECT_EQ(again.ReadValue(RootKey::CurrentUser, "Software\\Velmora", "missing"), std::nullopt);
    EXPECT_EQ(again.ReadValue(RootKey::CurrentUser, "Software\\Nope", "Odd=Name"), std::nullopt);
    EXPECT_EQ(again.ReadValue(RootKey::None, "Software\\Velmora", "Odd=Name"), std::nullopt);
    // Written atomically: no temporary file is left beside the store.
    int files = 0;
    for (auto& e : fs::directory_iterator(s.tmp.path() / "cfg" / "velmora")) ++files, (void)e;
    EXPECT_EQ(files, 1);
}

TEST(RegistryFile, RunValuesAreAutostartEntriesWithAQuotedExec) {
    Store s;
    ASSERT_TRUE(s.store.CreateKey(RootKey::CurrentUser, kRun));
    const std::string value = "\"/home/u/a b/it's $HOME/velmora\" -s";
    ASSERT_TRUE(s.store.WriteValue(RootKey::CurrentUser, kRun, "velmora", value));
    const fs::path entry = s.autostart / "velmora.desktop";
    std::string text = ReadFile(entry);
    EXPECT_NE(text.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_EQ(s.store.ReadValue(RootKey::CurrentUser, kRun, "VELMORA"), value);

    // The Exec line, read the way a desktop session reads it, gives back the two words.
    auto exec = DesktopEntryValue(text, "Exec");
    ASSERT_TRUE(exec);
    EXPECT_EQ(*exec, "\"/home/u/a b/it's \\$HOME/velmora\" -s");
    // Desktop Exec quoting matches sh double quotes, so sh can split it the same way.
    WriteFile(s.tmp.path() / "check.sh",
              "set -- " + *exec +
                  "\n[ \"$#\" = 2 ] && [ \"$1\" = '/home/u/a b/it'\\''s $HOME/velmora' ] && "
                  "[ \"$2\" = -s ]\n");
    EXPECT_EQ(std::system(("sh '" + (s.tmp.path() / "check.sh").string() + "'").c_str()), 0);

    // A hidden entry has been switched off by the user: it is still there, with its value.
    WriteFile(entry, text + "Hidden=true\n");
    EXPECT_EQ(s.store.ReadValue(RootKey::CurrentUser, kRun, "velmora"), value);
    // An entry written by someone else reads as its command line.
    WriteFile(s.autostart / "other.desktop", "[Desktop Entry]\nExec=/usr/bin/other --x\n");
    EXPECT_EQ(s.store.ReadValue(RootKey::CurrentUser, kRun, "other"), "/usr/bin/other --x");
    // Names that would leave the folder are refused.
    for (const char* bad : {"../evil", "a/b", "..", ""})
        EXPECT_FALSE(s.store.WriteValue(RootKey::CurrentUser, kRun, bad, "x")) << bad;
    EXPECT_FALSE(fs::exists(s.tmp.path() / "evil.desktop"));
}

TEST(RegistryFile, RunValuesWrittenAsUtf8KeepPathsTheAnsiCodePageCannotSpell) {
    Store s;
    ASSERT_TRUE(s.store.CreateKey(RootKey::CurrentUser, kRun));
    // "björn" has no CP936 spelling; the CJK folder has one.
    const std::string value = "\"/home/bj\xC3\xB6rn/\xE9\x80\x9F\xE8\xAE\xB0 x/velmora\" -s";
    ASSERT_TRUE(s.store.WriteValueUtf8(RootKey::CurrentUser, kRun, "velmora", value + '\0' + "x"));
    const std::string text = ReadFile(s.autostart / "velmora.desktop");
    EXPECT_EQ(DesktopEntryValue(text, "Exec"), value);

    RegistryFile again(s.tmp.path() / "cfg", s.autostart);
    EXPECT_EQ(again.ReadValueUtf8(RootKey::CurrentUser, kRun, "velmora"), value);
    // The ANSI view is the code page's spelling: CP936 bytes, '?' where it has none.
    EXPECT_EQ(again.ReadValue(RootKey::CurrentUser, kRun, "velmora"),
              "\"/home/bj?rn/\xCB\xD9\xBC\xC7 x/velmora\" -s");
    // A value written through the ANSI calls reads as UTF-8 converted from the code page.
    ASSERT_TRUE(s.store.WriteValue(RootKey::CurrentUser, kRun, "other", "/\xCB\xD9\xBC\xC7/v"));
    EXPECT_EQ(again.ReadValueUtf8(RootKey::CurrentUser, kRun, "other"),
              "/\xE9\x80\x9F\xE8\xAE\xB0/v");
}

TEST(RegistryFile, ExecQuotingTable) {
    struct Case {
        const char* commandLine;
        const char* exec;  // as written in the file
    };
    const Case cases[] = {
        {"/opt/velmora/velmora -s", "/opt/velmora/velmora -s"},
        {"\"/a b/velmora\" -s", "\"/a b/velmora\" -s"},
        {"/100%/velmora -s", "/100%%/velmora -s"},
        {"\"/a\\b c/v\" -s", "\"/a\\\\\\\\b c/v\" -s"},  // one backslash becomes four
        {"\"/a\"\"b`c/v\"", "\"/ab\\\\`c/v\""},
        {"  /x   -s  ", "/x -s"},
    };
    for (const auto& c : cases) EXPECT_EQ(ExecValue(c.commandLine), c.exec) << c.commandLine;
}

TEST(RegistryFile, DefaultFoldersFollowXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
    EXPECT_EQ(RegistryFile::DefaultAutostartDir(), fs::path("/x/cfg/autostart"));
    setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
    EXPECT_EQ(RegistryFile::DefaultConfigDir(), fs::path(std::getenv("HOME")) / ".config");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
