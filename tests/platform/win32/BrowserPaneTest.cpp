// The browser panes, the help and the update windows in process: the system's browser control
// hosted in a pane, its local page for an address that cannot be loaded, and the plain pane where
// the system has no document engine (Wine without its Gecko package).
#include "app/win32/Win32Ui.h"

#include <ole2.h>
#include <shlwapi.h>
#include <winsock2.h>
#undef Yield

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "app/core/HelpSize.h"
#include "app/core/OfflinePage.h"
#include "app/win32/Controls.h"
#include "app/win32/frmAutoUpdate.h"
#include "app/win32/frmHelp.h"

namespace {

using namespace velmora::app::win32;
using velmora::platform::win32::test::After;
using velmora::platform::win32::test::PumpFor;
using velmora::platform::win32::test::PumpUntil;

// Pixels in the window's client area that are not the pane's white.
int InkedPixels(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    HDC dc = GetDC(hwnd);
    int inked = 0;
    for (int y = 0; y < r.bottom; y += 1)
        for (int x = 0; x < r.right; x += 1) inked += GetPixel(dc, x, y) != RGB(255, 255, 255);
    ReleaseDC(hwnd, dc);
    return inked;
}

// A loopback listener (on a free port, or on the one given) that reads the first request line
// of the first connection and counts the connections made to it.
class Listener {
  public:
    explicit Listener(int port = 0) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<u_short>(port));
        bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        listen(socket_, 4);
        int len = sizeof a;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        u_long nonBlocking = 1;
        ioctlsocket(socket_, FIONBIO, &nonBlocking);
    }
    ~Listener() {
        for (SOCKET s : later_) closesocket(s);
        if (client_ != INVALID_SOCKET) closesocket(client_);
        closesocket(socket_);
        WSACleanup();
    }
    bool bound() const { return bound_; }
    int port() const { return port_; }
    // Whether a whole request line has come in yet; never blocks.
    bool Poll() {
        if (client_ == INVALID_SOCKET) {
            client_ = accept(socket_, nullptr, nullptr);
            if (client_ != INVALID_SOCKET) ++connections_;
        }
        if (client_ == INVALID_SOCKET) return false;
        char buf[512];
        const int n = recv(client_, buf, sizeof buf, 0);
        if (n > 0) received_.append(buf, static_cast<size_t>(n));
        return received_.find("\r\n") != std::string::npos;
    }
    std::string RequestLine() const { return received_.substr(0, received_.find("\r\n")); }
    // Connections made so far; the ones after the first are held open unread.
    int Connections() {
        Poll();
        for (SOCKET s; (s = accept(socket_, nullptr, nullptr)) != INVALID_SOCKET;) {
            later_.push_back(s);
            ++connections_;
        }
        return connections_;
    }

  private:
    SOCKET socket_ = INVALID_SOCKET;
    SOCKET client_ = INVALID_SOCKET;
    std::vector<SOCKET> later_;
    int connections_ = 0;
    bool bound_ = false;
    int port_ = 0;
    std::string received_;
};

// A loopback port that nobody listens on (until a Listener is made on it).
int SilentPort() {
    Listener gone;
    return gone.port();
}

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// The local file a file:// address names, in its long form; empty for other addresses. The
// control may spell the address its own way (Wine's keeps back slashes).
std::wstring PathOf(const std::wstring& url) {
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    if (url.rfind(L"file:", 0) != 0 || FAILED(PathCreateFromUrlW(url.c_str(), path, &length, 0)))
        return {};
    wchar_t full[MAX_PATH];
    const DWORD n = GetLongPathNameW(path, full, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(full, n) : std::wstring(path, length);
}

std::string FileAt(const std::wstring& url) {
    const std::wstring path = PathOf(url);
    if (path.empty()) return {};
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) bytes.append(buf, n);
    CloseHandle(f);
    return bytes;
}

HWND Host(int w, int h) {
    return CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, w, h,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

struct OleScope {
    OleScope() { OleInitialize(nullptr); }
    ~OleScope() { OleUninitialize(); }
};

}  // namespace

TEST(WebPane, WithoutADocumentEngineSaysOnceAskedThatThePageCannotBeShown) {
    OleScope ole;
    HWND host = Host(300, 300);
    ASSERT_NE(host, nullptr);
    {
        WebPane pane(host, L"WebBrowser1", 0, 0, 169, 225);
        // The test prefix runs with the document engine switched off.
        EXPECT_EQ(pane.browser(), nullptr);
        UpdateWindow(pane.hwnd());
        PumpFor(200);
        EXPECT_EQ(InkedPixels(pane.hwnd()), 0) << "an idle pane stays blank";

        pane.Navigate2(L"127.0.0.1:18081/ad1.php");
        EXPECT_EQ(pane.LocationURL(), L"http://127.0.0.1:18081/ad1.php");
        UpdateWindow(pane.hwnd());
        EXPECT_TRUE(PumpUntil([&] { return InkedPixels(pane.hwnd()) > 20; }));

        pane.Navigate2(L"https://h/ad2.php");
        EXPECT_EQ(pane.LocationURL(), L"https://h/ad2.php");
    }
    DestroyWindow(host);
}

// Wine ships the control but not the engine that renders its documents: the hosting itself
// (client site, in-place activation, sizing, navigation) still runs against the real control.
TEST(BrowserControl, HostedInPlaceItFillsTheHostAndFetchesTheAddress) {
    OleScope ole;
    EXPECT_FALSE(BrowserControl::DocumentEngineAvailable());
    HWND host = Host(240, 260);
    ASSERT_NE(host, nullptr);
    {
        auto control = BrowserControl::Host(host);
        ASSERT_NE(control, nullptr);
        HWND shown = GetWindow(host, GW_CHILD);
        ASSERT_NE(shown, nullptr) << "activated in place, the control shows a window in ours";
        const auto fills = [&] {
            RECT inner, outer;
            GetWindowRect(shown, &inner);
            GetClientRect(host, &outer);
            return inner.right - inner.left == outer.right &&
                   inner.bottom - inner.top == outer.bottom;
        };
        EXPECT_TRUE(PumpUntil(fills));
        SetWindowPos(host, nullptr, 0, 0, 320, 200, SWP_NOMOVE | SWP_NOZORDER);
        control->Fit();
        EXPECT_TRUE(PumpUntil(fills));

        Listener server;
        const std::wstring address =
            L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/ad1.php";
        ASSERT_TRUE(control->Navigate(address));
        ASSERT_TRUE(PumpUntil([&] { return server.Poll(); }, 15000));
        EXPECT_EQ(server.RequestLine(), "GET /ad1.php HTTP/1.1");
    }
    DestroyWindow(host);
}

// The control reports a page it could not fetch through its connection point, as it does on
// Windows; under Wine this runs without a document engine.
TEST(BrowserControl, ReportsAnAddressThatCannotBeFetched) {
    OleScope ole;
    HWND host = Host(240, 260);
    ASSERT_NE(host, nullptr);
    {
        auto control = BrowserControl::Host(host);
        ASSERT_NE(control, nullptr);
        std::vector<std::wstring> failed;
        control->navigateFailed = [&](const std::wstring& address) { failed.push_back(address); };
        const std::wstring address =
            L"http://127.0.0.1:" + std::to_wstring(SilentPort()) + L"/ad1.php";
        ASSERT_TRUE(control->Navigate(address));
        ASSERT_TRUE(PumpUntil([&] { return !failed.empty(); }, 15000));
        EXPECT_EQ(failed.front(), address);
    }
    DestroyWindow(host);
}

// The whole path under the control without a document engine: the failure, the local page's file
// loaded in its place, and the address asked for again on each show while the local page stands.
TEST(WebPane, AnAddressThatCannotBeLoadedShowsTheLocalPageAndIsAskedForAgainWhenShown) {
    OleScope ole;
    HWND host = Host(300, 300);
    ASSERT_NE(host, nullptr);
    {
        WebPane pane(host, L"WebBrowser1", 0, 0, 169, 225, &BrowserControl::Host);
        ASSERT_NE(pane.browser(), nullptr);
        const int port = SilentPort();
        pane.Navigate2(L"127.0.0.1:" + std::to_wstring(port) + L"/ad1.php");
        EXPECT_FALSE(pane.ShowsLocalPage()) << "not before the control has failed";
        ASSERT_TRUE(PumpUntil([&] { return pane.ShowsLocalPage(); }, 15000));

        const std::wstring local = WebPane::LocalPageAddress();
        ASSERT_FALSE(PathOf(local).empty()) << "the page is written to a file: " << Narrow(local);
        EXPECT_TRUE(PumpUntil([&] {
            return PathOf(pane.browser()->LocationURL()) == PathOf(local);
        })) << "the control loads the local page "
            << Narrow(local) << ", not " << Narrow(pane.browser()->LocationURL());
        EXPECT_EQ(FileAt(local), "\xEF\xBB\xBF" + velmora::app::OfflinePageHtml());
        EXPECT_EQ(pane.LocationURL(), L"http://127.0.0.1:" + std::to_wstring(port) + L"/ad1.php")
            << "the pane keeps its address";

        // Shown while still down: asked for again, and the local page again.
        pane.Shown();
        EXPECT_FALSE(pane.ShowsLocalPage());
        ASSERT_TRUE(PumpUntil([&] { return pane.ShowsLocalPage(); }, 15000));
        PumpFor(300);
        EXPECT_TRUE(pane.ShowsLocalPage()) << "the local page's own failure changes nothing";

        // Up now: the next show fetches the address.
        Listener server(port);
        ASSERT_TRUE(server.bound());
        pane.Shown();
        ASSERT_TRUE(PumpUntil([&] { return server.Poll(); }, 15000));
        EXPECT_EQ(server.RequestLine(), "GET /ad1.php HTTP/1.1");

        // While that load is under way, a show does not ask again.
        pane.Shown();
        PumpFor(500);
        EXPECT_EQ(server.Connections(), 1);
        EXPECT_FALSE(pane.ShowsLocalPage());
    }
    DestroyWindow(host);
}

namespace {

struct HelpSeen {
    std::wstring caption;
    bool maximised = false, ownerDisabled = false, fitted = false;
};

}  // namespace

TEST(HelpWindow, OpensModalAndMaximisedWithItsPaneFittedAfreshEachTime) {
    OleScope ole;
    HWND owner = Host(517, 644);
    std::vector<HelpSeen> seen;
    std::vector<HWND> windows;
    const auto whileOpen = [&] {
        HWND help = FindWindowW(frmHelp::kClassName, nullptr);
        HelpSeen s;
        if (help) {
            wchar_t caption[32] = {};
            GetWindowTextW(help, caption, 32);
            s.caption = caption;
            s.maximised = IsZoomed(help);
            s.ownerDisabled = !IsWindowEnabled(owner);
            RECT outer, pane;
            GetWindowRect(help, &outer);
            HWND browser = FindWindowExW(help, nullptr, nullptr, L"WebBrowser1");
            GetWindowRect(browser, &pane);
            const auto g = velmora::app::HelpBrowserGeometryFor(outer.right - outer.left,
                                                                outer.bottom - outer.top);
            s.fitted =
                browser && pane.right - pane.left == g.width && pane.bottom - pane.top == g.height;
            windows.push_back(help);
            PostMessageW(help, WM_CLOSE, 0, 0);
        }
        seen.push_back(s);
    };
    for (int i = 0; i < 2; ++i) {
        // Looks once the window is up, then closes it.
        After(500, whileOpen);
        frmHelp::ShowHelp(owner, L"127.0.0.1:9");  // returns once closed
        EXPECT_TRUE(IsWindowEnabled(owner));
    }
    ASSERT_EQ(seen.size(), 2u);
    for (const HelpSeen& s : seen) {
        EXPECT_EQ(s.caption, L"帮助");
        EXPECT_TRUE(s.maximised);
        EXPECT_TRUE(s.ownerDisabled);
        EXPECT_TRUE(s.fitted);
    }
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_FALSE(IsWindow(windows[0])) << "each opening makes a new window";
    DestroyWindow(owner);
}

TEST(UpdateWindow, ShowsItsCaptionAndMessage) {
    frmAutoUpdate w;
    w.Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(w.hwnd()) != FALSE; }));
    wchar_t text[64] = {};
    GetWindowTextW(w.hwnd(), text, 64);
    EXPECT_STREQ(text, L"Quillet程序更新");
    GetWindowTextW(w.Label1, text, 64);
    EXPECT_STREQ(text, L"程序更新中，请稍候......");
}
