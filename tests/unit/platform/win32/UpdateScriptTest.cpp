// The Windows update script, run by cmd under Wine against a throwaway program folder.

// The ports before <windows.h>, whose Yield() macro would eat the event loop's.
#include "platform/fake/FakePlatform.h"
#include "update/UpdateScript.h"
#include "update/mduAutoUpdate.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "ProcessTestSupport.h"
#include "platform/win32/Win32CodePage.h"

namespace velmora::update {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace platform::win32::proctest;

constexpr std::size_t kNewBuildExtra = 4096;

// A program folder holding an old "velmora.exe" (records its starts) and an old library, with
// new copies of both in dl_files.
struct Install {
    TempFolder tmp;
    fs::path dir = tmp.path();
    fs::path dl = dir / L"dl_files";
    fs::path exe = dir / L"velmora.exe";
    fs::path lib = dir / L"lib data.dll";
    fs::path started = dir / L"started.txt";
    std::uintmax_t oldSize = 0, newSize = 0;

    Install() {
        const fs::path dummy = ThisProgram().parent_path() / L"win32_update_dummy.exe";
        const std::string program = ReadBytes(dummy);
        fs::create_directories(dl);
        WriteBytes(exe, program);
        WriteBytes(dl / L"velmora.exe", program + std::string(kNewBuildExtra, '\0'));
        WriteBytes(lib, "old lib");
        WriteBytes(dl / L"lib data.dll", "new lib");
        oldSize = program.size();
        newSize = program.size() + kNewBuildExtra;
    }
    // Writes update.bat for names; the script's path, or empty when the ANSI code page cannot
    // spell it.
    fs::path WriteScript(const std::vector<std::u16string>& names) {
        const std::string text =
            ToAnsi(WindowsUpdateScriptText(dir.u16string(), u"velmora.exe", names));
        if (text.empty()) return {};
        const fs::path script = dir / L"update.bat";
        WriteBytes(script, text);
        return script;
    }
    // Starts `cmd /c update.bat PID`.
    HANDLE RunScript(const fs::path& script, const std::wstring& pid) {
        return Start(
            CmdExe(),
            L"cmd.exe /d /s /c \"\".\\" + script.filename().wstring() + L"\" " + pid + L"\"",
            dir.wstring());
    }
    std::string Starts() const { return ReadBytes(started); }
    bool Unchanged() const {
        std::error_code ec;
        return ReadBytes(lib) == "old lib" && fs::file_size(exe, ec) == oldSize &&
               !fs::exists(started);
    }
};

DWORD Finish(HANDLE process, DWORD timeoutMs) {
    DWORD code = 999;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

TEST(WindowsUpdateScript, CrLfLinesAndPercentSignsDoubled) {
    const std::u16string text =
        WindowsUpdateScriptText(u"C:\\P 100% & co\\", u"velmora.exe", {u"a.dll", u"b c.dat"});
    for (std::size_t i = text.find(u'\n'); i != std::u16string::npos; i = text.find(u'\n', i + 1))
        ASSERT_EQ(text[i - 1], u'\r') << "bare LF at " << i;
    EXPECT_NE(text.find(u"\"C:\\P 100%% & co\\dl_files\\b c.dat\""), std::u16string::npos);
    EXPECT_EQ(text.find(u"100% "), std::u16string::npos);
    EXPECT_LT(text.find(u"\\.a.dll.update-new"), text.find(u"\\.b c.dat.update-new"));
    EXPECT_EQ(text.substr(text.rfind(u"start")),
              u"start \"\" \"C:\\P 100%% & co\\velmora.exe\"\r\n");
}

TEST(WindowsUpdateScript, WaitsForTheProcessThenReplacesEverythingAndRestarts) {
    Install in;
    const fs::path script = in.WriteScript({u"velmora.exe", u"lib data.dll"});
    ASSERT_FALSE(script.empty());
    HANDLE sleeper = Start(in.exe.wstring(), L"velmora.exe sleep 4000");
    ASSERT_TRUE(sleeper);
    HANDLE cmd = in.RunScript(script, std::to_wstring(GetProcessId(sleeper)));
    ASSERT_TRUE(cmd);
    // Nothing may change while the process runs.
    bool early = false;
    while (WaitForSingleObject(sleeper, 50) == WAIT_TIMEOUT) early = early || !in.Unchanged();
    CloseHandle(sleeper);
    EXPECT_FALSE(early);
    EXPECT_EQ(Finish(cmd, 90000), 0u);

    EXPECT_EQ(ReadBytes(in.lib), "new lib");
    EXPECT_EQ(fs::file_size(in.exe), in.newSize);
    ASSERT_TRUE(PollFor([&] { return !in.Starts().empty(); }, 30s));
    EXPECT_EQ(in.Starts(), std::to_string(in.newSize) + "\n");  // the new build, once
    EXPECT_FALSE(fs::exists(in.dl));
    EXPECT_FALSE(fs::exists(in.dir / L".velmora.exe.update-new"));
    EXPECT_FALSE(fs::exists(in.dir / L".lib data.dll.update-new"));
}

TEST(WindowsUpdateScript, OneFailedCopyReplacesNothingAndStartsTheOldBuild) {
    struct Case {
        const char* what;
        bool holdStaging;  // the temporary copy of the library is held open by another program
        bool removeDownload;
    };
    for (const Case c : {Case{"held open", true, false}, Case{"missing download", false, true}}) {
        SCOPED_TRACE(c.what);
        Install in;
        const fs::path script = in.WriteScript({u"velmora.exe", u"lib data.dll"});
        ASSERT_FALSE(script.empty());
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.holdStaging)
            held = CreateFileW((in.dir / L".lib data.dll.update-new").c_str(), GENERIC_READ, 0,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (c.removeDownload) fs::remove(in.dl / L"lib data.dll");
        HANDLE cmd = in.RunScript(script, L"");
        ASSERT_TRUE(cmd);
        EXPECT_EQ(Finish(cmd, 90000), 0u);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        EXPECT_EQ(ReadBytes(in.lib), "old lib");
        EXPECT_EQ(fs::file_size(in.exe), in.oldSize);
        EXPECT_FALSE(fs::exists(in.dir / L".velmora.exe.update-new"));
        ASSERT_TRUE(PollFor([&] { return !in.Starts().empty(); }, 30s));
        EXPECT_EQ(in.Starts(), std::to_string(in.oldSize) + "\n");
        EXPECT_FALSE(fs::exists(in.dl));
    }
}

// The program's own step: the script goes to disk in the ANSI code page cmd reads, or not at all
// when that page cannot spell the program folder.
TEST(WindowsUpdateScript, WrittenInTheAnsiCodePageOrNotAtAll) {
    platform::fake::FakePlatform fake;
    platform::win32::Win32CodePage ansi;
    auto pf = fake.platform();
    platform::Platform withAnsi{pf.input,      pf.windows,      pf.clipboard,   pf.screen,
                                pf.http,       pf.regex,        ansi,           pf.clock,
                                pf.loop,       pf.keyStore,     pf.processorId, pf.process,
                                pf.messageBox, pf.accessibility};
    const std::vector<UpdateEntry> entries = {{"http://h/a", "lib data.dll", std::nullopt}};

    TempFolder plain;
    fake.process.folder = plain.path();
    try {
        mduAutoUpdate::WriteUpdateScript(withAnsi, entries);
        ADD_FAILURE() << "the process did not end";
    } catch (const platform::fake::FakeExit& e) {
        EXPECT_EQ(e.code, 0);
    }
    const fs::path script = plain.path() / L"update.bat";
    ASSERT_EQ(fake.process.started, std::vector<fs::path>{script});
    const std::string bytes = ReadBytes(script);
    EXPECT_EQ(ansi.FromAnsi(bytes),
              WindowsUpdateScriptText(plain.path().u16string(), u"velmora", {u"lib data.dll"}));
    mduAutoUpdate::CleanUpdateFiles(plain.path());
    EXPECT_FALSE(fs::exists(script));

    // No ANSI code page has this character: '?' in its place would be a wildcard to copy.
    TempFolder odd(L"smile \U0001F600");
    fake.process.folder = odd.path();
    fake.process.started.clear();
    mduAutoUpdate::WriteUpdateScript(withAnsi, entries);  // returns: nothing to start
    EXPECT_TRUE(fake.process.started.empty());
}

}  // namespace
}  // namespace velmora::update
