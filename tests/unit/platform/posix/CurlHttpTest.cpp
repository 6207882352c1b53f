// The libcurl backend against purpose-built loopback servers.

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/posix/CurlHttp.h"
#include "support/EndpointProcess.h"
#include "support/HttpTestLimits.h"
#include "support/LocalServer.h"

namespace velmora::platform::posix {
namespace {

using testing::EndpointProcess;
using testing::LocalServer;

struct Loop {
    fake::FakeClock clock;
    fake::ActionLog log;
    fake::FakeEventLoop loop{clock, log};
    Loop() { loop.logWaits = false; }
};

// A listening socket that is never accepted from: the kernel completes the handshake, nobody
// ever reads or writes.
class SilentPort {
  public:
    SilentPort() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        listening_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
                     listen(fd_, 8) == 0 &&
                     getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
        port_ = ntohs(addr.sin_port);
    }
    ~SilentPort() {
        if (fd_ >= 0) close(fd_);
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    bool Listening() const { return listening_; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

  private:
    int fd_;
    int port_ = 0;
    bool listening_ = false;
};

HttpRequest Get(const std::string& url) {
    HttpRequest r;
    r.url = url;
    return r;
}

TEST(CurlHttp, RedirectsAreFollowedOnlyToHttp) {
    int fileHits = 0;
    LocalServer s([&](httplib::Server& srv) {
        srv.Get("/to-file", [](const auto&, auto& res) { res.set_redirect("file:///etc/passwd"); });
        srv.Get("/to-ftp", [](const auto&, auto& res) { res.set_redirect("ftp://127.0.0.1/x"); });
        srv.Get("/to-gopher",
                [](const auto&, auto& res) { res.set_redirect("gopher://127.0.0.1/x"); });
        srv.Get("/to-final", [](const auto&, auto& res) { res.set_redirect("/final"); });
        srv.Get("/loop", [](const auto&, auto& res) { res.set_redirect("/loop"); });
        srv.Get("/final", [&](const auto&, auto& res) {
            ++fileHits;
            res.set_content("final", "text/plain");
        });
    });
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    for (const char* path : {"/to-file", "/to-ftp", "/to-gopher", "/loop"})
        EXPECT_THROW(http.Send(Get(s.Url(path))), HttpError) << path;
    EXPECT_THROW(http.Send(Get("file:///etc/passwd")), HttpError);
    auto res = http.Send(Get(s.Url("/to-final")));
    EXPECT_EQ(res.status, 200);
    EXPECT_EQ(res.body, "final");
    EXPECT_EQ(fileHits, 1);
}

TEST(CurlHttp, PostRedirectedBy302ContinuesAsGetWithoutBodyHeaders) {
    std::string seenMethod, seenLength;
    LocalServer s([&](httplib::Server& srv) {
        srv.Post("/form", [](const auto&, auto& res) { res.set_redirect("/done"); });
        srv.Get("/done", [&](const httplib::Request& req, auto& res) {
            seenMethod = req.method;
            seenLength = req.get_header_value("Content-Length");
            res.set_content("ok", "text/plain");
        });
    });
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    HttpRequest r;
    r.method = "POST";
    r.url = s.Url("/form");
    r.body = "a=1";
    r.headers = {{"Content-Type", "application/x-www-form-urlencoded"}, {"Content-Length", "3"}};
    EXPECT_EQ(http.Send(r).body, "ok");
    EXPECT_EQ(seenMethod, "GET");
    EXPECT_EQ(seenLength, "");
}

// What a second server, on another port, receives of each request a first one redirects there.
struct RedirectPair {
    std::mutex m;
    std::vector<std::string> seen;  // method, target, headers and body of each request
    long status = 302;
    LocalServer elsewhere{[this](httplib::Server& srv) {
        const auto record = [this](const httplib::Request& req, httplib::Response& res) {
            std::string all = req.method + " " + req.target + "\n";
            for (const auto& [name, value] : req.headers) all += name + ": " + value + "\n";
            std::lock_guard lock(m);
            seen.push_back(all + "\n" + req.body);
            res.set_content("moved here", "text/plain");
        };
        srv.Get(".*", record);
        srv.Post(".*", record);
    }};
    LocalServer first{[this](httplib::Server& srv) {
        const auto move = [this](const httplib::Request& req, httplib::Response& res) {
            if (req.path == "/same") return res.set_content("same origin", "text/plain");
            res.status = static_cast<int>(status);
            res.set_header("Location",
                           req.path == "/stay" ? first.Url("/same") : elsewhere.Url(req.target));
        };
        srv.Get(".*", move);
        srv.Post(".*", move);
    }};
};

TEST(CurlHttp, AKeyIsNeverCarriedToAnotherServerAndOtherRequestsLeaveTheirCredentials) {
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    RedirectPair pair;
    for (long status : {301L, 302L, 303L, 307L, 308L}) {
        pair.status = status;
        HttpRequest keyed;
        keyed.method = "POST";
        keyed.url = pair.first.Url("/v2/translate");
        keyed.headers = {{"Authorization", "DeepL-Auth-Key sk-77"}};
        keyed.body = "api_key=sk-77";
        keyed.carriesCredential = true;
        try {
            http.Send(keyed);
            ADD_FAILURE() << status << " was followed";
        } catch (const HttpError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("redirect (HTTP " + std::to_string(status)), std::string::npos)
                << what;
            EXPECT_EQ(what.find("sk-77"), std::string::npos) << what;
        }
        keyed.url = pair.first.Url("/stay");
        EXPECT_EQ(http.Send(keyed).body, "same origin") << status;

        HttpRequest plain = Get(pair.first.Url("/file?x=1"));
        plain.headers = {{"Authorization", "Basic c2stNzc="}, {"Cookie", "sk-77"}};
        EXPECT_EQ(http.Send(plain).body, "moved here") << status;
    }
    std::lock_guard lock(pair.m);
    ASSERT_EQ(pair.seen.size(), 5u);  // the five plain requests, nothing else
    for (const auto& request : pair.seen) {
        EXPECT_EQ(request.rfind("GET /file?x=1\n", 0), 0u) << request;
        EXPECT_EQ(request.find("sk-77"), std::string::npos) << request;
        EXPECT_EQ(request.find("c2stNzc="), std::string::npos) << request;
    }
}

TEST(CurlHttp, ServerThatAcceptsAndNeverAnswersTimesOut) {
    SilentPort silent;
    ASSERT_TRUE(silent.Listening());
    const std::string url = silent.Url();

    Loop l;
    auto limits = HttpTestLimits();
    limits.lowSpeedSeconds = 60;
    limits.totalTimeoutMs = 1500;
    CurlHttp http(l.loop, limits);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(http.Send(Get(url)), HttpError);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1400));
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST(CurlHttp, ACancelDuringTheWaitAbandonsTheRequestAtOnce) {
    // A server that never answers, and the user pressing Esc 100 ms in: the request ends by
    // Cancelled (no transport failure), long before its own time-out.
    SilentPort silent;
    ASSERT_TRUE(silent.Listening());
    const std::string url = silent.Url();

    Loop l;
    auto limits = HttpTestLimits();
    limits.totalTimeoutMs = 10'000;
    CurlHttp http(l.loop, limits);
    const auto start = std::chrono::steady_clock::now();
    l.loop.onYield = [&] {
        if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(100))
            l.loop.RequestCancel();
    };
    EXPECT_THROW(http.Send(Get(url)), Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    l.loop.onYield = nullptr;
    l.loop.ClearCancel();
}

long MaxRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

TEST(CurlHttp, EndlessAndHugeBodiesStopAtTheCapWithBoundedMemory) {
    Loop l;
    CurlHttp http(l.loop);  // the default limits: an 8 MiB cap
    const long before = MaxRssKiB();
    for (const char* fault : {"endless", "huge"}) {
        EndpointProcess ep({"--fault", fault});
        HttpRequest r;
        r.method = "POST";
        r.url = ep.Url();
        r.body = "text=x&sl=en&tl=es";
        try {
            http.Send(r);
            ADD_FAILURE() << fault << ": no failure";
        } catch (const HttpError& e) {
            EXPECT_NE(std::string(e.what()).find("larger than"), std::string::npos) << e.what();
        }
    }
    // The body is never held beyond the cap (plus one write's worth).
    EXPECT_LT(MaxRssKiB() - before, 40 * 1024);
}

TEST(CurlHttp, DripFeedingServerIsCutOffByTheLowSpeedLimit) {
    EndpointProcess ep({"--fault", "slow", "--drip-ms", "1500"});
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    HttpRequest r;
    r.method = "POST";
    r.url = ep.Url();
    r.body = "text=x&sl=en&tl=es";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(http.Send(r), HttpError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(CurlHttp, EventLoopKeepsTurningWhileARequestIsUnderWay) {
    EndpointProcess ep({"--backend", "test", "--delay-ms", "600"});
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    HttpRequest r;
    r.method = "POST";
    r.url = ep.Url();
    r.body = "text=x&sl=en&tl=es";
    const int before = l.loop.yields();
    EXPECT_EQ(http.Send(r).status, 200);
    // 600 ms of waiting at one turn per 10 ms step; far fewer would mean a frozen window.
    EXPECT_GE(l.loop.yields() - before, 20);
}

TEST(CurlHttp, RequestFromInsideTheLoopRunsBesideTheOuterOne) {
    EndpointProcess ep({"--backend", "test", "--delay-ms", "300"});
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    auto post = [&](const std::string& text) {
        HttpRequest r;
        r.method = "POST";
        r.url = ep.Url();
        r.body = "text=" + text + "&sl=en&tl=es";
        return http.Send(r).body;
    };
    std::string inner;
    l.loop.onYield = [&] {
        if (inner.empty()) inner = post("inner");
    };
    std::string outer = post("outer");
    l.loop.onYield = nullptr;
    EXPECT_NE(outer.find("[en&gt;es] outer<"), std::string::npos);
    EXPECT_NE(inner.find("[en&gt;es] inner<"), std::string::npos);
}

TEST(CurlHttp, StatusAndRawBodyComeBackUnchanged) {
    const std::string raw("\xFF\x00\xC3(", 4);
    LocalServer s([&](httplib::Server& srv) {
        srv.Get("/raw", [&](const auto&, auto& res) {
            res.status = 503;
            res.set_content(raw, "application/octet-stream");
        });
    });
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    auto res = http.Send(Get(s.Url("/raw")));
    EXPECT_EQ(res.status, 503);
    EXPECT_EQ(res.body, raw);
    EXPECT_EQ(http.Send(Get(s.Url("/missing"))).status, 404);
}

TEST(CurlHttp, AnswerHeadersComeBackAsReceivedFromTheFinalHop) {
    LocalServer s([&](httplib::Server& srv) {
        srv.Get("/hop", [](const auto&, auto& res) {
            res.set_header("X-Hop", "first");
            res.set_redirect("/limited");
        });
        srv.Get("/limited", [](const auto&, auto& res) {
            res.status = 429;
            res.set_header("Retry-After", "  17 ");
            res.set_header("X-Trace-ID", "a: b");
            res.set_content("slow down", "text/plain");
        });
    });
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    auto res = http.Send(Get(s.Url("/hop")));
    EXPECT_EQ(res.status, 429);
    auto find = [&](const std::string& name) -> std::optional<std::string> {
        for (const auto& [n, v] : res.headers)
            if (n == name) return v;
        return std::nullopt;
    };
    EXPECT_EQ(find("Retry-After"), "17");
    EXPECT_EQ(find("X-Trace-ID"), "a: b");  // only the first colon separates
    EXPECT_EQ(find("Content-Type"), "text/plain");
    EXPECT_EQ(find("X-Hop"), std::nullopt);  // the redirect's own headers are not kept
    for (const auto& [n, v] : res.headers) EXPECT_EQ(n.rfind("HTTP/", 0), std::string::npos);
}

TEST(CurlHttp, InterimAnswerHeadersAreDropped) {
    // A raw server: an informational 103 with its own header, then the real answer.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(fd, 1), 0);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::thread server([fd] {
        int c = accept(fd, nullptr, nullptr);
        char buf[4096];
        std::string req;
        while (req.find("\r\n\r\n") == std::string::npos) {
            const auto n = read(c, buf, sizeof buf);
            if (n <= 0) break;
            req.append(buf, n);
        }
        const std::string answer =
            "HTTP/1.1 103 Early Hints\r\nX-Early: 1\r\n\r\n"
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Final: 1\r\n\r\nok";
        EXPECT_EQ(write(c, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
        close(c);
    });
    Loop l;
    CurlHttp http(l.loop, HttpTestLimits());
    auto res = http.Send(Get("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/"));
    server.join();
    close(fd);
    EXPECT_EQ(res.status, 200);
    EXPECT_EQ(res.body, "ok");
    const HttpResponse::Headers expected = {{"Content-Length", "2"}, {"X-Final", "1"}};
    EXPECT_EQ(res.headers, expected);
}

TEST(TranslateEndpointProgram, HelpAndBadOptions) {
    const std::string exe = TRANSLATE_ENDPOINT_PATH;
    EXPECT_EQ(system((exe + " --help | grep -q -- --fault-match").c_str()), 0);
    EXPECT_NE(system((exe + " --fault nonsense 2>/dev/null").c_str()), 0);
    EXPECT_NE(system((exe + " --port 70000 2>/dev/null").c_str()), 0);
}

}  // namespace
}  // namespace velmora::platform::posix
