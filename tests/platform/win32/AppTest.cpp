// velmora.exe as a user meets it: started from a folder of its own, seen from outside through
// its windows, its tray icon and the registry of the Wine prefix.
// winsock2.h before windows.h, which would pull in the old winsock.
#include <winsock2.h>

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"velmora";
constexpr wchar_t kMainClass[] = L"VelmoraMain";
constexpr wchar_t kCaption[] = L"Quillet2009正式版";
constexpr UINT kTrayMessage = WM_APP + 1;
constexpr int kStartBoundMs = 30000;

bool PollUntil(const std::function<bool()>& done, int boundMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The built program as a Windows path (the build hands over the host's path).
std::wstring BuiltExe() {
    const std::string host = VELMORA_EXE;
    using ToDos = WCHAR* (*)(const char*);
    // Through void*: a FARPROC does not convert to another function type without a warning.
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos && !host.empty() && host[0] == '/') {
        if (WCHAR* dos = toDos(host.c_str())) {
            std::wstring path = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return path;
        }
    }
    return std::wstring(host.begin(), host.end());
}

// A port on loopback nobody listens on: a request there is refused at once.
int ClosedPort() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

struct TopWindows {
    DWORD pid;
    std::vector<HWND> found;
};

std::vector<HWND> WindowsOf(DWORD pid) {
    TopWindows w{pid, {}};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* w = reinterpret_cast<TopWindows*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(h, &owner);
            if (owner == w->pid) w->found.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&w));
    return w.found;
}

std::wstring ClassOf(HWND h) {
    wchar_t name[256] = {};
    GetClassNameW(h, name, 256);
    return name;
}

std::wstring TextOf(HWND h) {
    wchar_t text[256] = {};
    GetWindowTextW(h, text, 256);
    return text;
}

// The tray icon the window put in place (id 1) is there when the shell accepts a change to it.
bool TrayIconPresent(HWND main) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = main;
    nid.uID = 1;
    nid.uFlags = NIF_TIP;
    wcscpy(nid.szTip, L"Quillet");
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

std::optional<std::wstring> RunEntry() {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

void DeleteRunEntry() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, kRunValue);
        RegCloseKey(key);
    }
}

// One copy of the program in a folder of its own, with a configuration that names nothing
// remote; ended and removed with the object.
class Program {
  public:
    explicit Program(const std::wstring& folderName) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = fs::path(temp) / (folderName + L" " + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / L"appdata");
        exe_ = folder_ / L"velmora.exe";
        fs::copy_file(BuiltExe(), exe_);
        // The environment goes to the child: its settings file lives in the fresh folder and
        // its vendor server is a refused loopback port.
        SetEnvironmentVariableW(L"APPDATA", (folder_ / L"appdata").c_str());
        const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ClosedPort());
        SetEnvironmentVariableW(L"VELMORA_UPDATE_URL", url.c_str());
        SetEnvironmentVariableW(L"VELMORA_PAGE_BASE", url.substr(7).c_str());
    }

    ~Program() {
        if (process_) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_, 9);
                WaitForSingleObject(process_, 10000);
            }
            CloseHandle(process_);
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void Start(const std::wstring& args) {
        std::wstring line = L"\"" + exe_.wstring() + L"\"";
        if (!args.empty()) line += L" " + args;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(exe_.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder_.c_str(), &si, &pi))
            << GetLastError();
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
    }

    // The main window once it exists (shown or not), or null after the bound.
    HWND WaitForMainWindow(const std::function<bool(HWND)>& ready) {
        HWND main = nullptr;
        PollUntil(
            [&] {
                for (HWND h : WindowsOf(pid_))
                    if (ClassOf(h) == kMainClass && ready(h)) main = h;
                return main != nullptr || Exited();
            },
            kStartBoundMs);
        return main;
    }

    bool Exited() { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }
    bool WaitForExit(int boundMs) {
        return WaitForSingleObject(process_, static_cast<DWORD>(boundMs)) == WAIT_OBJECT_0;
    }
    DWORD ExitCode() {
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return code;
    }
    bool AnyVisibleWindow() {
        for (HWND h : WindowsOf(pid_))
            if (IsWindowVisible(h)) return true;
        return false;
    }
    // The tray's pop-up menu (the system's menu window class) once the program opened it.
    HWND WaitForPopupMenu() {
        HWND menu = nullptr;
        PollUntil(
            [&] {
                for (HWND h : WindowsOf(pid_))
                    if (ClassOf(h) == L"#32768" && IsWindowVisible(h)) menu = h;
                return menu != nullptr;
            },
            10000);
        return menu;
    }

    const fs::path& folder() const { return folder_; }
    const fs::path& exe() const { return exe_; }
    DWORD pid() const { return pid_; }

  private:
    fs::path folder_;
    fs::path exe_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

class AppTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
    }
    void SetUp() override { DeleteRunEntry(); }
    void TearDown() override { DeleteRunEntry(); }
};

TEST_F(AppTest, VersionModeWritesTheVersionLineAndNothingElse) {
    Program app(L"velmora-version");
    // A vendor server that would see any request: the version mode must send none.
    SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(server, 4), 0);
    int len = sizeof a;
    getsockname(server, reinterpret_cast<sockaddr*>(&a), &len);
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ntohs(a.sin_port));
    SetEnvironmentVariableW(L"VELMORA_UPDATE_URL", url.c_str());
    SetEnvironmentVariableW(L"VELMORA_PAGE_BASE", url.substr(7).c_str());
    // An old file of that name is replaced, not appended to.
    std::ofstream(app.folder() / L"version.php", std::ios::binary) << "old content\r\n";

    app.Start(L"-version");
    bool windowSeen = false;
    const bool exited = PollUntil(
        [&] {
            windowSeen = windowSeen || app.AnyVisibleWindow();
            return app.Exited();
        },
        kStartBoundMs);
    ASSERT_TRUE(exited);
    EXPECT_EQ(app.ExitCode(), 0u);
    EXPECT_FALSE(windowSeen);

    std::ifstream in(app.folder() / L"version.php", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "<version>20090923</version>\r\n");
    EXPECT_FALSE(RunEntry().has_value()) << "the version mode writes no autostart entry";

    fd_set pending;
    FD_ZERO(&pending);
    FD_SET(server, &pending);
    timeval now{0, 0};
    EXPECT_EQ(select(0, &pending, nullptr, nullptr, &now), 0) << "a request reached the server";
    closesocket(server);
}

TEST_F(AppTest, NormalStartShowsTheMainWindowAndTheCloseBoxHidesItInTheTray) {
    Program app(L"velmora-normal");
    app.Start(L"");
    HWND main = app.WaitForMainWindow([](HWND h) { return IsWindowVisible(h) != FALSE; });
    ASSERT_NE(main, nullptr) << "no visible main window";
    EXPECT_EQ(TextOf(main), kCaption);
    RECT client;
    ASSERT_TRUE(GetClientRect(main, &client));
    EXPECT_EQ(client.right - client.left, 517);
    EXPECT_EQ(client.bottom - client.top, 644);

    // The close box only hides: the icon takes the window's place, the process lives on.
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PollUntil([&] { return !IsWindowVisible(main) && TrayIconPresent(main); }, 10000));
    EXPECT_FALSE(app.Exited());
    EXPECT_TRUE(IsWindow(main));

    // A left click's release on the icon brings it back.
    PostMessageW(main, kTrayMessage, 0, WM_LBUTTONUP);
    EXPECT_TRUE(PollUntil([&] { return IsWindowVisible(main) != FALSE; }, 10000));
}

TEST_F(AppTest, HiddenStartLivesInTheTrayAndItsMenuRestoresAndExits) {
    Program app(L"velmora-hidden");
    app.Start(L"-s");
    HWND main = app.WaitForMainWindow([](HWND h) { return TrayIconPresent(h); });
    ASSERT_NE(main, nullptr) << "no tray icon";
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_FALSE(app.AnyVisibleWindow());
    EXPECT_EQ(TextOf(main), kCaption) << "the load handler ran before the window was hidden";

    // Right button released over the icon: the tray menu; its entry 还原(&R) restores.
    PostMessageW(main, kTrayMessage, 0, WM_RBUTTONUP);
    HWND menu = app.WaitForPopupMenu();
    ASSERT_NE(menu, nullptr) << "no tray menu";
    PostMessageW(menu, WM_CHAR, L'r', 0);
    EXPECT_TRUE(PollUntil([&] { return IsWindowVisible(main) != FALSE; }, 10000));

    // 退出(&X) removes the icon and ends the process.
    PostMessageW(main, kTrayMessage, 0, WM_RBUTTONUP);
    menu = app.WaitForPopupMenu();
    ASSERT_NE(menu, nullptr) << "no tray menu the second time";
    PostMessageW(menu, WM_CHAR, L'x', 0);
    ASSERT_TRUE(app.WaitForExit(10000)) << "exit entry did not end the process";
    EXPECT_EQ(app.ExitCode(), 0u);
}

TEST_F(AppTest, FirstStartWritesTheAutostartEntryQuotedWhenThePathHasABlank) {
    Program app(L"velmora with blank");
    app.Start(L"");
    ASSERT_NE(app.WaitForMainWindow([](HWND h) { return IsWindowVisible(h) != FALSE; }), nullptr);
    const std::optional<std::wstring> entry = RunEntry();
    ASSERT_TRUE(entry.has_value()) << "no autostart entry";
    const std::wstring want = L"\"" + app.exe().wstring() + L"\" -s";
    EXPECT_EQ(CompareStringOrdinal(entry->c_str(), -1, want.c_str(), -1, TRUE), CSTR_EQUAL)
        << "entry: " << fs::path(*entry).string() << "\nwant:  " << fs::path(want).string();
}

TEST_F(AppTest, AnExistingAutostartEntryIsLeftAsItIs) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t other[] = L"C:\\elsewhere\\velmora.exe -s";
    RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof other);
    RegCloseKey(key);

    Program app(L"velmora-kept");
    app.Start(L"");
    ASSERT_NE(app.WaitForMainWindow([](HWND h) { return IsWindowVisible(h) != FALSE; }), nullptr);
    EXPECT_EQ(RunEntry().value_or(L""), other);
}

}  // namespace
