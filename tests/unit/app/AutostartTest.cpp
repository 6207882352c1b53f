#include <gtest/gtest.h>

#include "app/core/Autostart.h"
#include "platform/fake/FakePlatform.h"
#include "support/NativeBackends.h"
#ifndef _WIN32
#include "platform/posix/DesktopEntry.h"
#include "platform/posix/RegistryFile.h"
#include "support/TempDir.h"
#endif

using namespace velmora::app;
using velmora::platform::Platform;
using velmora::platform::RootKey;
using velmora::platform::fake::FakePlatform;

namespace {
const std::string kRunAnsi = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

#ifndef _WIN32
// Linux keeps the Run key's values as XDG autostart entries (desktop files).
using velmora::platform::posix::DesktopEntryValue;
using velmora::platform::posix::RegistryFile;
using velmora::platform::posix::SplitCommandLine;

// The fake platform, with a real file-backed key store in a temporary home and the real ANSI
// code page.
struct Home {
    TempDir tmp;
    FakePlatform f;
    velmora::native::CodePage codePage;
    RegistryFile store{tmp.path() / "config", tmp.path() / "config" / "autostart"};
    Platform pf() { return f.platform(codePage, store); }
    std::filesystem::path Entry() {
        return tmp.path() / "config" / "autostart" / "velmora.desktop";
    }
};
#endif
}  // namespace

TEST(Autostart, CommandQuotesAProgramPathWithBlanks) {
    EXPECT_EQ(AutostartCommand(u"/opt/velmora/velmora"), u"/opt/velmora/velmora -s");
    EXPECT_EQ(AutostartCommand(u"/home/a b/velmora"), u"\"/home/a b/velmora\" -s");
}

// The fake's folder and program name, joined by the platform's separator.
#ifdef _WIN32
const std::string kFakeCommand = "/opt/velmora\\velmora -s";
#else
const std::string kFakeCommand = "/opt/velmora/velmora -s";
#endif

TEST(Autostart, WritesOnlyWhenTheReadGivesError) {
    struct Case {
        std::optional<std::string> stored;
        bool rewritten;
    };
    const Case cases[] = {
        {std::nullopt, true},          {std::string("Error\0", 6), true},
        {std::string(400, 'x'), true}, {std::string("/elsewhere/velmora -s\0", 22), false},
        {std::string(""), false},
    };
    for (const auto& c : cases) {
        FakePlatform f;
        if (c.stored) f.keyStore.keys[{RootKey::CurrentUser, kRunAnsi}]["velmora"] = *c.stored;
        auto pf = f.platform();
        EnsureAutostart(pf);
        auto& run = f.keyStore.keys[{RootKey::CurrentUser, kRunAnsi}];
        if (c.rewritten)
            EXPECT_EQ(run["velmora"], kFakeCommand);
        else
            EXPECT_EQ(run["velmora"], *c.stored);
    }
}

#ifdef _WIN32
// Folder names the ANSI code page cannot spell reach the Run value unchanged, as UTF-8.
TEST(Autostart, FolderOutsideTheAnsiPageIsWrittenExactly) {
    struct Case {
        const wchar_t* folder;
        const char* command;
    };
    const Case cases[] = {
        {L"C:\\\x7528\x6237\\\x8F6F\x4EF6",
         "C:\\\xE7\x94\xA8\xE6\x88\xB7\\\xE8\xBD\xAF\xE4\xBB\xB6\\velmora -s"},
        {L"D:\\Zo\x00EB \U0001F600", "\"D:\\Zo\xC3\xAB \xF0\x9F\x98\x80\\velmora\" -s"},
    };
    for (const auto& c : cases) {
        FakePlatform f;
        f.process.folder = c.folder;
        auto pf = f.platform();
        EnsureAutostart(pf);
        EXPECT_EQ((f.keyStore.keys[{RootKey::CurrentUser, kRunAnsi}]["velmora"]), c.command);
    }
}
#endif

#ifndef _WIN32
TEST(Autostart, FirstStartWritesSecondKeepsMovedFolderKeepsTheOldEntry) {
    Home h;
    h.f.process.folder = "/home/u/my apps/velmora";
    auto pf = h.pf();
    EnsureAutostart(pf);
    std::string desktop = ReadFile(h.Entry());
    auto exec = DesktopEntryValue(desktop, "Exec");
    ASSERT_TRUE(exec);
    EXPECT_EQ(SplitCommandLine(*exec).size(), 2u);
    EXPECT_EQ(*exec, "\"/home/u/my apps/velmora/velmora\" -s");
    EXPECT_NE(
        ReadFile(h.tmp.path() / "config" / "velmora" / "registry.ini").find("CurrentVersion\\Run"),
        std::string::npos);

    EnsureAutostart(pf);
    EXPECT_EQ(ReadFile(h.Entry()), desktop);

    h.f.process.folder = "/srv/moved";
    EnsureAutostart(pf);
    EXPECT_EQ(ReadFile(h.Entry()), desktop);

    // Removing the entry counts as missing: the next start writes it again, for the new folder.
    std::filesystem::remove(h.Entry());
    EnsureAutostart(pf);
    EXPECT_EQ(DesktopEntryValue(ReadFile(h.Entry()), "Exec"), "/srv/moved/velmora -s");
}

TEST(Autostart, NonAsciiProgramFolderIsWrittenExactlyAndQuoted) {
    struct Case {
        const char* folder;
        const char* exec;  // the Exec= value, string escapes undone
    };
    const Case cases[] = {
        {"/home/bj\xC3\xB6rn/velmora", "/home/bj\xC3\xB6rn/velmora/velmora -s"},
        {"/home/\xE7\x94\xA8\xE6\x88\xB7/\xE8\xBD\xAF\xE4\xBB\xB6",
         "/home/\xE7\x94\xA8\xE6\x88\xB7/\xE8\xBD\xAF\xE4\xBB\xB6/velmora -s"},
        {"/home/Zo\xC3\xAB/\xE9\x80\x9F\xE8\xAE\xB0 app",
         "\"/home/Zo\xC3\xAB/\xE9\x80\x9F\xE8\xAE\xB0 app/velmora\" -s"},
    };
    for (const auto& c : cases) {
        Home h;
        h.f.process.folder = c.folder;
        auto pf = h.pf();
        EnsureAutostart(pf);
        const std::string desktop = ReadFile(h.Entry());
        EXPECT_EQ(DesktopEntryValue(desktop, "Exec"), c.exec) << c.folder;
        auto words = SplitCommandLine(DesktopEntryValue(desktop, "Exec").value_or(""));
        ASSERT_EQ(words.size(), 2u) << c.folder;
        EXPECT_EQ(words[0], std::string(c.folder) + "/velmora");
        // Read back from a fresh store: the exact command.
        RegistryFile again{h.tmp.path() / "config", h.tmp.path() / "config" / "autostart"};
        EXPECT_EQ(again.ReadValueUtf8(RootKey::CurrentUser, kRunAnsi, "velmora"), c.exec)
            << c.folder;
        // And it counts as present: the next start leaves it alone.
        EnsureAutostart(pf);
        EXPECT_EQ(ReadFile(h.Entry()), desktop) << c.folder;
    }
}

TEST(Autostart, AnEntrySwitchedOffWithHiddenIsLeftAsItIs) {
    const std::string ours =
        "[Desktop Entry]\nType=Application\nName=velmora\nExec=/opt/velmora/velmora -s\n"
        "X-Velmora-Value=/opt/velmora/velmora -s\n";
    const std::string cases[] = {
        ours + "Hidden=true\n",
        "[Desktop Entry]\nType=Application\nHidden=true\n",
        "[Desktop Entry]\nExec=/elsewhere/velmora -s\nHidden = True\n",
    };
    for (const auto& file : cases) {
        Home h;
        std::filesystem::create_directories(h.Entry().parent_path());
        WriteFile(h.Entry(), file);
        auto pf = h.pf();
        EnsureAutostart(pf);
        EXPECT_EQ(ReadFile(h.Entry()), file);
    }
}
#endif
