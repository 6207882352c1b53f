// The WinHTTP backend against a purpose-built loopback server (Winsock, own threads) that can
// delay, stall mid-body, drip, send oversize bodies, redirect and set headers.

// The port first: winbase.h defines Yield() away (a 16-bit relic), which must not reach it.
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/WinHttp.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/HostedApiEngine.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/MicrosoftEngine.h"
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on
#undef Yield

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/QueuedLoop.h"

namespace velmora::platform::win32 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A message-pumping loop that counts its turns; onTurn plays "other events".
class PumpLoop : public QueuedLoop {
  public:
    void Yield() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        ++turns;
        if (onTurn && !inTurn_) {
            inTurn_ = true;
            onTurn();
            inTurn_ = false;
        }
    }
    void Wait(int ms) override {
        WaitUntil([] { return false; }, ms);
    }
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        Yield();
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return done();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
            Yield();
        }
        return true;
    }
    void Wake() override {}

    int turns = 0;
    std::function<void()> onTurn;

  private:
    bool inTurn_ = false;
};

struct Request {
    std::string method, path, body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string Header(const std::string& name) const {
        for (const auto& [n, v] : headers)
            if (_stricmp(n.c_str(), name.c_str()) == 0) return v;
        return {};
    }
};

bool SendAll(SOCKET s, const std::string& data) {
    std::size_t off = 0;
    while (off < data.size()) {
        const int n = send(s, data.data() + off, static_cast<int>(data.size() - off), 0);
        if (n <= 0) return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Answer(int status, const std::string& body,
                   const std::vector<std::pair<std::string, std::string>>& headers = {}) {
    std::string s = "HTTP/1.1 " + std::to_string(status) + " X\r\n";
    for (const auto& [n, v] : headers) s += n + ": " + v + "\r\n";
    s += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return s;
}

std::string Redirect(int status, const std::string& to) {
    return Answer(status, "", {{"Location", to}});
}

// Answers on 127.0.0.1, one thread per connection, keeping connections open between requests.
// The handler writes the whole answer and returns false to close the connection.
class LoopbackServer {
  public:
    using Handler = std::function<bool(SOCKET, const Request&, LoopbackServer&)>;

    explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(listen_, 16);
        int len = sizeof addr;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }
    ~LoopbackServer() {
        SetEvent(stop_);
        acceptor_.join();
        closesocket(listen_);
        {
            std::lock_guard lock(m_);
            for (SOCKET c : clients_) shutdown(c, SD_BOTH);
        }
        for (auto& t : workers_) t.join();
        CloseHandle(stop_);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int connections() const { return connections_; }
    std::vector<Request> requests() {
        std::lock_guard lock(m_);
        return requests_;
    }
    // Sleeps ms, or less when the server stops. False when stopped.
    bool Pause(int ms) {
        return WaitForSingleObject(stop_, static_cast<DWORD>(ms)) == WAIT_TIMEOUT;
    }

  private:
    // Waits until s is readable; false once the server stops. Short steps, since under Wine a
    // blocked call is not woken by another thread closing its socket.
    bool Readable(SOCKET s) {
        while (WaitForSingleObject(stop_, 0) == WAIT_TIMEOUT) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(s, &set);
            timeval step{0, 20000};
            const int n = select(0, &set, nullptr, nullptr, &step);
            if (n != 0) return n > 0;
        }
        return false;
    }
    int Receive(SOCKET c, char* buf, int size) { return Readable(c) ? recv(c, buf, size, 0) : -1; }
    void AcceptLoop() {
        while (Readable(listen_)) {
            SOCKET c = accept(listen_, nullptr, nullptr);
            if (c == INVALID_SOCKET) return;
            ++connections_;
            std::lock_guard lock(m_);
            clients_.push_back(c);
            workers_.emplace_back([this, c] { Serve(c); });
        }
    }
    void Serve(SOCKET c) {
        std::string buf;
        char chunk[4096];
        while (true) {
            std::size_t headEnd;
            while ((headEnd = buf.find("\r\n\r\n")) == std::string::npos) {
                const int n = Receive(c, chunk, sizeof chunk);
                if (n <= 0) return Close(c);
                buf.append(chunk, static_cast<std::size_t>(n));
            }
            Request r;
            std::size_t pos = 0;
            bool first = true;
            while (pos < headEnd) {
                std::size_t end = buf.find("\r\n", pos);
                const std::string line = buf.substr(pos, end - pos);
                pos = end + 2;
                if (first) {
                    first = false;
                    const auto sp1 = line.find(' ');
                    const auto sp2 = line.find(' ', sp1 + 1);
                    r.method = line.substr(0, sp1);
                    r.path = line.substr(sp1 + 1, sp2 - sp1 - 1);
                    continue;
                }
                const auto colon = line.find(':');
                std::string value = line.substr(colon + 1);
                while (!value.empty() && value.front() == ' ') value.erase(0, 1);
                r.headers.emplace_back(line.substr(0, colon), value);
            }
            buf.erase(0, headEnd + 4);
            const std::string lengthText = r.Header("Content-Length");
            const std::size_t length = lengthText.empty() ? 0 : std::stoul(lengthText);
            while (buf.size() < length) {
                const int n = Receive(c, chunk, sizeof chunk);
                if (n <= 0) return Close(c);
                buf.append(chunk, static_cast<std::size_t>(n));
            }
            r.body = buf.substr(0, length);
            buf.erase(0, length);
            {
                std::lock_guard lock(m_);
                requests_.push_back(r);
            }
            if (!handler_(c, r, *this)) return Close(c);
        }
    }
    void Close(SOCKET c) {
        shutdown(c, SD_SEND);
        std::lock_guard lock(m_);
        std::erase(clients_, c);
        closesocket(c);
    }

    Handler handler_;
    HANDLE stop_;
    SOCKET listen_;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::mutex m_;
    std::vector<SOCKET> clients_;
    std::vector<std::thread> workers_;
    std::vector<Request> requests_;
    std::thread acceptor_;
};

struct Winsock {
    Winsock() {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
    }
    ~Winsock() { WSACleanup(); }
};

// Short enough that a server which stalls fails the test in seconds.
WinHttp::Limits TestLimits() {
    WinHttp::Limits l;
    l.connectTimeoutMs = 1000;
    l.totalTimeoutMs = 3000;
    l.lowSpeedBytes = 1;
    l.lowSpeedSeconds = 2;
    l.maxBodyBytes = 1u << 20;
    return l;
}

HttpRequest Get(const std::string& url) {
    HttpRequest r;
    r.url = url;
    return r;
}

std::optional<std::string> Find(const HttpResponse::Headers& headers, const std::string& name) {
    for (const auto& [n, v] : headers)
        if (n == name) return v;
    return std::nullopt;
}

class WinHttpTest : public testing::Test {
  protected:
    Winsock winsock;
    PumpLoop loop;
};

TEST_F(WinHttpTest, StatusRawBodyAndHeadersComeBackAndRequestHeadersGoOutInOrder) {
    const std::string raw("\xFF\x00\xC3(", 4);
    LoopbackServer s([&](SOCKET c, const Request& r, LoopbackServer&) {
        if (r.path == "/raw")
            return SendAll(c, Answer(503, raw,
                                     {{"Content-Type", "application/octet-stream"},
                                      {"Retry-After", "  17 "},
                                      {"X-Trace-ID", "a: b"}}));
        if (r.path == "/hop")
            return SendAll(c, Answer(302, "", {{"X-Hop", "first"}, {"Location", "/raw"}}));
        return SendAll(c, Answer(404, "no"));
    });
    WinHttp http(loop, TestLimits());
    HttpRequest req = Get(s.Url("/raw"));
    req.headers = {{"X-Zeta", "1"}, {"X-Alpha", "two words"}, {"Authorization", "Bearer k"}};
    auto res = http.Send(req);
    EXPECT_EQ(res.status, 503);
    EXPECT_EQ(res.body, raw);
    EXPECT_EQ(Find(res.headers, "Retry-After"), "17");
    EXPECT_EQ(Find(res.headers, "X-Trace-ID"), "a: b");  // only the first colon separates
    EXPECT_EQ(Find(res.headers, "Content-Type"), "application/octet-stream");
    for (const auto& [n, v] : res.headers) EXPECT_EQ(n.rfind("HTTP/", 0), std::string::npos);

    const auto sent = s.requests().at(0).headers;
    std::vector<std::string> ours;
    for (const auto& [n, v] : sent)
        if (n == "X-Zeta" || n == "X-Alpha" || n == "Authorization") ours.push_back(n + "=" + v);
    EXPECT_EQ(ours, (std::vector<std::string>{"X-Zeta=1", "X-Alpha=two words",
                                              "Authorization=Bearer k"}));

    auto hopped = http.Send(Get(s.Url("/hop")));
    EXPECT_EQ(hopped.status, 503);
    EXPECT_EQ(Find(hopped.headers, "X-Hop"), std::nullopt);  // the redirect's own are not kept
    EXPECT_EQ(http.Send(Get(s.Url("/missing"))).status, 404);
}

TEST_F(WinHttpTest, SequentialRequestsShareOneConnection) {
    LoopbackServer s([](SOCKET c, const Request& r, LoopbackServer&) {
        return SendAll(c, Answer(200, r.path));
    });
    WinHttp http(loop, TestLimits());
    for (const char* path : {"/a", "/b", "/c"}) EXPECT_EQ(http.Send(Get(s.Url(path))).body, path);
    HttpRequest post = Get(s.Url("/d"));
    post.method = "POST";
    post.body = "x=1";
    EXPECT_EQ(http.Send(post).body, "/d");
    EXPECT_EQ(s.requests().back().body, "x=1");
    EXPECT_EQ(s.connections(), 1);
}

TEST_F(WinHttpTest, RefusedAndUnresolvableFailFast) {
    SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int len = sizeof addr;
    getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
    closesocket(sock);  // the port is now free and nobody listens
    WinHttp http(loop, TestLimits());
    for (const std::string& url : {"http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/",
                                   std::string("http://velmora-test.invalid/")}) {
        const auto start = Clock::now();
        EXPECT_THROW(http.Send(Get(url)), HttpError) << url;
        EXPECT_LT(Clock::now() - start, 4s) << url;
    }
}

TEST_F(WinHttpTest, ServerThatNeverAnswersIsCutOffByTheTotalTimeout) {
    // A listening socket nobody accepts from: the handshake completes, nothing is ever read.
    SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(sock, 8), 0);
    int len = sizeof addr;
    getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
    auto limits = TestLimits();
    limits.lowSpeedSeconds = 60;
    limits.totalTimeoutMs = 1500;
    WinHttp http(loop, limits);
    const auto start = Clock::now();
    try {
        http.Send(Get("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/"));
        ADD_FAILURE() << "no failure";
    } catch (const HttpError& e) {
        EXPECT_NE(std::string(e.what()).find("timed out"), std::string::npos) << e.what();
    }
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 5s);
    closesocket(sock);
}

TEST_F(WinHttpTest, StalledAndDripFeedingServersAreCutOffByTheLowSpeedLimit) {
    LoopbackServer s([](SOCKET c, const Request& r, LoopbackServer& srv) {
        SendAll(c, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst part ");
        if (r.path == "/stall") {
            srv.Pause(30000);
        } else {  // a byte every 1.5 s: below one byte per second
            for (int i = 0; i < 20 && srv.Pause(1500); ++i) SendAll(c, "x");
        }
        return false;
    });
    auto limits = TestLimits();
    limits.totalTimeoutMs = 20000;  // only the low-speed limit can end these in time
    WinHttp http(loop, limits);
    for (const char* path : {"/stall", "/drip"}) {
        const auto start = Clock::now();
        EXPECT_THROW(http.Send(Get(s.Url(path))), HttpError) << path;
        const auto took = Clock::now() - start;
        EXPECT_GE(took, 1900ms) << path;
        EXPECT_LT(took, 6s) << path;
    }
}

TEST_F(WinHttpTest, BodiesStopAtTheCap) {
    constexpr std::size_t kCap = 64u << 10;
    LoopbackServer s([&](SOCKET c, const Request& r, LoopbackServer& srv) {
        if (r.path == "/exact") return SendAll(c, Answer(200, std::string(kCap, 'a')));
        if (r.path == "/declared")  // announces too much, sends a little
            return SendAll(c, "HTTP/1.1 200 OK\r\nContent-Length: 10000000\r\n\r\nabc") &&
                   (srv.Pause(5000), false);
        // Endless, with no length given: ends only when the client hangs up.
        SendAll(c, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        const std::string block(8192, 'z');
        while (srv.Pause(0) && SendAll(c, block)) {
        }
        return false;
    });
    auto limits = TestLimits();
    limits.maxBodyBytes = kCap;
    WinHttp http(loop, limits);
    EXPECT_EQ(http.Send(Get(s.Url("/exact"))).body.size(), kCap);
    for (const char* path : {"/declared", "/endless"}) {
        const auto start = Clock::now();
        try {
            http.Send(Get(s.Url(path)));
            ADD_FAILURE() << path << ": no failure";
        } catch (const HttpError& e) {
            EXPECT_NE(std::string(e.what()).find("larger than"), std::string::npos) << e.what();
        }
        EXPECT_LT(Clock::now() - start, 2s) << path;
    }
}

TEST_F(WinHttpTest, RedirectsAreFollowedOnlyToHttpAndOnlySoFar) {
    LoopbackServer s([&](SOCKET c, const Request& r, LoopbackServer& srv) {
        const std::string p = r.path;
        if (p == "/to-ftp") return SendAll(c, Redirect(302, "ftp://127.0.0.1/x"));
        if (p == "/to-file") return SendAll(c, Redirect(301, "file:///C:/windows/win.ini"));
        if (p == "/loop") return SendAll(c, Redirect(302, "/loop"));
        if (p == "/absolute") return SendAll(c, Redirect(307, srv.Url("/final")));
        if (p == "/dir/relative") return SendAll(c, Redirect(302, "../final?q=1"));
        if (p.rfind("/chain/", 0) == 0) {  // /chain/N redirects N more times
            const int n = std::stoi(p.substr(7));
            return SendAll(
                c, n == 0 ? Answer(200, "end") : Redirect(302, "/chain/" + std::to_string(n - 1)));
        }
        if (p.rfind("/final", 0) == 0) return SendAll(c, Answer(200, "final " + p));
        if (p == "/form") return SendAll(c, Redirect(302, "/done"));
        if (p == "/done")
            return SendAll(c, Answer(200, r.method + " [" + r.Header("Content-Length") + "]"));
        return SendAll(c, Answer(404, ""));
    });
    auto limits = TestLimits();
    limits.maxRedirects = 3;
    WinHttp http(loop, limits);
    for (const char* path : {"/to-ftp", "/to-file", "/loop", "/chain/4"})
        EXPECT_THROW(http.Send(Get(s.Url(path))), HttpError) << path;
    EXPECT_THROW(http.Send(Get("ftp://127.0.0.1/x")), HttpError);
    EXPECT_EQ(http.Send(Get(s.Url("/chain/3"))).body, "end");
    EXPECT_EQ(http.Send(Get(s.Url("/absolute"))).body, "final /final");
    EXPECT_EQ(http.Send(Get(s.Url("/dir/relative"))).body, "final /final?q=1");

    HttpRequest post = Get(s.Url("/form"));
    post.method = "POST";
    post.body = "a=1";
    post.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    EXPECT_EQ(http.Send(post).body, "GET []");
}

// Each engine with a key, sent by a first server to a second one on another port: the second
// receives nothing that holds the key, and the engine fails as a transport failure.
TEST_F(WinHttpTest, KeysAreNeverRedirectedToAnotherServer) {
    using namespace translate::engines;
    const std::string key = "redirected-key-31337";
    LoopbackServer elsewhere(
        [](SOCKET c, const Request&, LoopbackServer&) { return SendAll(c, Answer(200, "[]")); });
    int status = 0;
    LoopbackServer first([&](SOCKET c, const Request& r, LoopbackServer&) {
        return SendAll(c, Redirect(status, elsewhere.Url(r.path)));
    });
    WinHttp http(loop, TestLimits());
    Win32CodePage codePage(CP_UTF8);
    for (int s : {301, 302, 303, 307, 308}) {
        status = s;
        const std::vector<std::pair<std::string, std::unique_ptr<IEngine>>> engines = [&] {
            std::vector<std::pair<std::string, std::unique_ptr<IEngine>>> v;
            const auto at = [&](const char* path) {
                return HttpEngineSettings{first.Url(path), key, "westeurope"};
            };
            v.emplace_back("deepl", std::make_unique<HostedApiEngine>(kDeeplApi, http, codePage,
                                                                      at("/v2/translate")));
            v.emplace_back("google", std::make_unique<HostedApiEngine>(
                                         kGoogleApi, http, codePage, at("/language/translate/v2")));
            v.emplace_back("microsoft", std::make_unique<HostedApiEngine>(
                                            kMicrosoftApi, http, codePage, at("/translate")));
            v.emplace_back("libretranslate", std::make_unique<LibreTranslateEngine>(
                                                 http, codePage, at("/translate")));
            return v;
        }();
        for (const auto& [name, engine] : engines) {
            const PieceResult r = engine->TranslatePiece(u"hello", "en", "es");
            ASSERT_FALSE(r.text) << name << " " << s;
            EXPECT_EQ(r.failure.kind, FailureKind::Transport) << name << " " << s;
            EXPECT_NE(r.failure.detail.find("redirect"), std::string::npos) << r.failure.detail;
            EXPECT_EQ(r.failure.detail.find(key), std::string::npos) << r.failure.detail;
        }
    }
    for (const Request& r : elsewhere.requests()) {
        // Only LibreTranslate's language list, which carries no key, may follow.
        EXPECT_EQ(r.method + " " + r.path, "GET /languages");
        EXPECT_EQ(r.body.find(key), std::string::npos);
        for (const auto& [name, value] : r.headers)
            EXPECT_EQ(value.find(key), std::string::npos) << name;
    }
}

TEST_F(WinHttpTest, EventLoopKeepsTurningAndServesANestedRequest) {
    LoopbackServer s([](SOCKET c, const Request& r, LoopbackServer& srv) {
        srv.Pause(r.path == "/slow" ? 600 : 200);
        return SendAll(c, Answer(200, "answer " + r.path));
    });
    WinHttp http(loop, TestLimits());
    const int before = loop.turns;
    const auto start = Clock::now();
    EXPECT_EQ(http.Send(Get(s.Url("/slow"))).body, "answer /slow");
    EXPECT_GE(Clock::now() - start, 550ms);
    // 600 ms at one turn per 10 ms step; far fewer would mean a frozen window.
    EXPECT_GE(loop.turns - before, 20);

    std::string inner;
    loop.onTurn = [&] {
        if (inner.empty()) inner = http.Send(Get(s.Url("/inner"))).body;
    };
    EXPECT_EQ(http.Send(Get(s.Url("/slow"))).body, "answer /slow");
    loop.onTurn = nullptr;
    EXPECT_EQ(inner, "answer /inner");
}

int timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    ++timerTicks;
}

TEST_F(WinHttpTest, TheWin32MessageLoopDispatchesWhileARequestWaits) {
    LoopbackServer s([](SOCKET c, const Request&, LoopbackServer& srv) {
        srv.Pause(600);
        return SendAll(c, Answer(200, "late"));
    });
    Win32EventLoop messages;
    WinHttp http(messages, TestLimits());
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &CountTick);
    timerTicks = 0;
    EXPECT_EQ(http.Send(Get(s.Url("/"))).body, "late");
    KillTimer(nullptr, timer);
    // A 20 ms timer over 600 ms: its messages were dispatched during the wait.
    EXPECT_GE(timerTicks, 10);
}

}  // namespace
}  // namespace velmora::platform::win32
