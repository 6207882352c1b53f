// The translation client over libcurl against the real endpoint program on loopback.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "support/EndpointProcess.h"
#include "support/HttpTestLimits.h"
#include "translate/mduTranslate.h"

namespace velmora::translate {
namespace {

using platform::posix::CurlHttp;
using testing::EndpointProcess;

// Small limits so every hostile case ends within a few seconds.
struct Client {
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    platform::posix::IconvCodePage codePage;
    CurlHttp http;
    TranslateContext ctx;
    Client(const std::string& url, CurlHttp::Limits limits = HttpTestLimits())
        : http(loop, limits), ctx{http, codePage, loop, url} {
        loop.logWaits = false;
    }
};

int CountHeader(const testing::RecordedRequest& r, std::string_view name) {
    int n = 0;
    for (const auto& [k, v] : r.headers) {
        if (k.size() == name.size() &&
            std::equal(k.begin(), k.end(), name.begin(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
            ++n;
    }
    return n;
}

TEST(TranslateOverHttp, SendsExactlyTheFormAndTheFourHeadersInOrder) {
    EndpointProcess ep({"--backend", "test"});
    Client c(ep.Url());
    EXPECT_EQ(TranslateText(c.ctx, u"你好", "zh-CN", "en"), u"[zh-CN>en] 你好");

    auto reqs = ep.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    const auto& r = reqs[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/translate_t");
    EXPECT_EQ(r.body, "hl=zh-CN&ie=UTF-8&text=%E4%BD%A0%E5%A5%BD&sl=zh-CN&tl=en");

    const std::vector<std::pair<std::string, std::string>> four = {
        {"Referer", ep.Url()},
        {"Accept-Charset", "gb2312,utf-8;q=0.7,*;q=0.7"},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Content-Length", "56"},
    };
    std::vector<std::pair<std::string, std::string>> seen;
    for (const auto& h : r.headers) {
        for (const auto& f : four)
            if (h.first == f.first) seen.push_back(h);
        EXPECT_EQ(CountHeader(r, h.first), 1) << "header sent twice: " << h.first;
    }
    EXPECT_EQ(seen, four);
    EXPECT_EQ(CountHeader(r, "Expect"), 0);
    EXPECT_EQ(CountHeader(r, "Accept"), 0);
    EXPECT_EQ(CountHeader(r, "Host"), 1);
}

TEST(TranslateOverHttp, LargeBodiesAreSentWithoutExpectContinue) {
    EndpointProcess ep({"--backend", "test"});
    Client c(ep.Url());
    platform::HttpRequest req;
    req.method = "POST";
    req.url = ep.Url();
    req.body = std::string(200 * 1024, 'a');
    req.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    EXPECT_EQ(c.http.Send(req).status, 200);
    auto reqs = ep.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(CountHeader(reqs[0], "Expect"), 0);
    EXPECT_EQ(reqs[0].body.size(), req.body.size());
}

TEST(TranslateOverHttp, SequentialPiecesShareOneConnection) {
    EndpointProcess ep({"--backend", "test"});
    Client c(ep.Url());
    EXPECT_EQ(TranslateText(c.ctx, u"one. two. three.", "en", "es"),
              u"[en>es] one.[en>es]  two.[en>es]  three.");
    Client other(ep.Url());
    EXPECT_EQ(TranslateText(other.ctx, u"four.", "en", "es"), u"[en>es] four.");
    auto reqs = ep.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].connection, reqs[1].connection);
    EXPECT_EQ(reqs[1].connection, reqs[2].connection);
    // A client of its own has a connection cache of its own.
    EXPECT_NE(reqs[3].connection, reqs[0].connection);
}

// "a. b." is two pieces; the fault hits only the second (its text holds "b").
struct FaultCase {
    const char* fault;
    std::vector<std::string> extra;
    std::u16string expected;
};

class FaultOnSecondPiece : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultOnSecondPiece, GivesADefinedBoundedResult) {
    const auto& fc = GetParam();
    std::vector<std::string> args = {"--backend", "test",          "--fault",
                                     fc.fault,    "--fault-match", "b"};
    args.insert(args.end(), fc.extra.begin(), fc.extra.end());
    EndpointProcess ep(args);
    Client c(ep.Url());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(TranslateText(c.ctx, u"a. b.", "en", "es"), fc.expected);
    // Bounded: at most the total time-out for the failing piece, plus slack.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(ep.Requests().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultOnSecondPiece,
    ::testing::Values(FaultCase{"none", {}, u"[en>es] a.[en>es]  b."},
                      FaultCase{"status500", {}, u"[en>es] a.[en>es]  b."},
                      FaultCase{"status404", {}, u"[en>es] a.[en>es]  b."},
                      FaultCase{"nomarker", {}, u"[en>es] a."},
                      FaultCase{"nolt", {}, u"[en>es] a."}, FaultCase{"empty", {}, u"[en>es] a."},
                      FaultCase{"badutf8", {}, u"[en>es] a.\uFFFD\uFFFD([en>es]  b."},
                      FaultCase{"hang", {}, u"[en>es] a."},
                      FaultCase{"slow", {"--drip-ms", "1500"}, u"[en>es] a."},
                      FaultCase{"endless", {}, u"[en>es] a."},
                      FaultCase{"huge", {}, u"[en>es] a."}),
    [](const auto& info) { return std::string(info.param.fault); });

TEST(TranslateOverHttp, ErrorStatusPagesAreReturnedAsTheyCame) {
    for (const char* fault : {"status404", "status500"}) {
        EndpointProcess ep({"--backend", "test", "--fault", fault});
        Client c(ep.Url());
        std::u16string page = RequestTranslation(c.ctx, u"x", "en", "es");
        EXPECT_NE(page.find(u"<div id=result_box dir=\"ltr\">[en&gt;es] x</div>"),
                  std::u16string::npos)
            << fault;
    }
}

TEST(TranslateOverHttp, EscapedTranslationIsDecoded) {
    EndpointProcess ep({"--backend", "test"});
    Client c(ep.Url());
    // The endpoint escapes all five; the client decodes four and leaves "&amp;" as it came.
    EXPECT_EQ(TranslateText(c.ctx, u"<b> \"it's\" & co", "zh-CN", "en"),
              u"[zh-CN>en] <b> \"it's\" &amp; co");
    EXPECT_EQ(TranslateText(c.ctx, u"line\r\nnext", "zh-CN", "en"),
              u"[zh-CN>en] line\r\n\n[zh-CN>en] next");
}

TEST(TranslateOverHttp, RefusedConnectionFailsTheExchangeAndYieldsEmptyText) {
    // A port that was free a moment ago and has no listener now.
    int port;
    {
        EndpointProcess ep({});
        port = ep.port();
    }
    Client c("http://127.0.0.1:" + std::to_string(port) + "/translate_t");
    EXPECT_THROW(RequestTranslation(c.ctx, u"x", "en", "es"), platform::HttpError);
    EXPECT_EQ(TranslateText(c.ctx, u"x. y.", "en", "es"), u"");
}

TEST(TranslateOverHttp, EveryPieceOfAHangingServerCostsAtMostTheTimeout) {
    EndpointProcess ep({"--fault", "hang"});
    auto limits = HttpTestLimits();
    limits.lowSpeedSeconds = 60;  // only the total time-out applies
    limits.totalTimeoutMs = 1000;
    Client c(ep.Url(), limits);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(TranslateText(c.ctx, u"a. b.", "en", "es"), u"");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST(TranslateOverHttp, GlossaryAndApertiumBackends) {
    EndpointProcess ep({});
    Client c(ep.Url());
    EXPECT_EQ(TranslateText(c.ctx, u"你好", "zh-CN", "en"), u"hello");
    EXPECT_EQ(TranslateText(c.ctx, u"thank you", "en", "zh-CN"), u"谢谢");
    EXPECT_EQ(TranslateText(c.ctx, u"你好", "zh-CN", "zh-CN"), u"你好");
    if (system("apertium -l 2>/dev/null | grep -q eng-spa") != 0)
        GTEST_SKIP() << "apertium eng-spa is not installed";
    EXPECT_EQ(TranslateText(c.ctx, u"The house is red.", "en", "es"), u"La casa es roja.");
}

}  // namespace
}  // namespace velmora::translate
