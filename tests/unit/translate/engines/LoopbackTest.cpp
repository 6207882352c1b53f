// Every online engine against engine-standin over the real libcurl backend: the exact request,
// the parsed answer, each error class, and the key kept out of every text the user may see.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/posix/CurlHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "support/LocalServer.h"
#include "support/StandinProcess.h"
#include "translate/engines/ApyEngine.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/EngineTranslator.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/MicrosoftEngine.h"

namespace velmora::translate::engines {
namespace {

using nlohmann::json;
using velmora::testing::LocalServer;
using velmora::testing::StandinProcess;
using K = FailureKind;

const std::string kKey = "standin-key";

std::string Header(const json& request, const std::string& name) {
    for (const auto& h : request["headers"]) {
        if (strcasecmp(h[0].get<std::string>().c_str(), name.c_str()) == 0)
            return h[1].get<std::string>();
    }
    return "(none)";
}

platform::posix::CurlHttp::Limits ShortLimits() {
    platform::posix::CurlHttp::Limits l;
    l.connectTimeoutMs = 1000;
    l.totalTimeoutMs = 3000;
    return l;
}

struct Loopback : ::testing::Test {
    StandinProcess standin{{"--echo-key", "--region", "westeurope"}};
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    platform::posix::CurlHttp http{loop, ShortLimits()};
    platform::posix::IconvCodePage codePage;

    HttpEngineSettings At(const std::string& path, std::string key = kKey) {
        return {standin.Url(path), std::move(key), "westeurope"};
    }
    // The engine of that name, pointed at the stand-in with the given key.
    std::unique_ptr<IEngine> Make(const std::string& name, const std::string& key = kKey) {
        if (name == "deepl")
            return std::make_unique<HostedApiEngine>(kDeeplApi, http, codePage,
                                                     At("/v2/translate", key));
        if (name == "google")
            return std::make_unique<HostedApiEngine>(kGoogleApi, http, codePage,
                                                     At("/language/translate/v2", key));
        if (name == "microsoft")
            return std::make_unique<HostedApiEngine>(kMicrosoftApi, http, codePage,
                                                     At("/translate", key));
        if (name == "libretranslate")
            return std::make_unique<LibreTranslateEngine>(http, codePage, At("/translate", key));
        return std::make_unique<ApyEngine>(http, codePage, At("/apy/translate", key));
    }
    // The one translation request recorded (list queries are left out).
    json OnlyTranslateRequest() {
        json all = standin.TakeRequests();
        json out = json::array();
        for (auto& r : all) {
            if (r["method"] == "POST") out.push_back(r);
        }
        EXPECT_EQ(out.size(), 1u) << all.dump();
        return out.empty() ? json::object() : out[0];
    }
};

TEST_F(Loopback, DeeplRequestAndAnswer) {
    auto e = Make("deepl");
    EXPECT_EQ(e->TranslatePiece(u"你好。", "zh-CN", "en").text, u"[EN-US] hello。");
    json r = OnlyTranslateRequest();
    EXPECT_EQ(r["path"], "/v2/translate");
    EXPECT_EQ(r["query"], "");
    EXPECT_EQ(Header(r, "Authorization"), "DeepL-Auth-Key standin-key");
    EXPECT_EQ(Header(r, "Content-Type"), "application/json");
    EXPECT_EQ(json::parse(r["body"].get<std::string>()),
              json::parse(R"({"text":["你好。"],"source_lang":"ZH","target_lang":"EN-US"})"));

    EXPECT_EQ(e->TranslatePiece(u"hello", "en", "zh-TW").text, u"[ZH-HANT] 你好");
    EXPECT_EQ(json::parse(OnlyTranslateRequest()["body"].get<std::string>()),
              json::parse(R"({"text":["hello"],"source_lang":"EN","target_lang":"ZH-HANT"})"));
}

TEST_F(Loopback, GoogleRequestAndAnswer) {
    auto e = Make("google");
    EXPECT_EQ(e->TranslatePiece(u"你好。", "zh-CN", "en").text, u"[en] hello。");
    json r = OnlyTranslateRequest();
    EXPECT_EQ(r["path"], "/language/translate/v2");
    EXPECT_EQ(r["query"], "");  // the key goes in a header, never the URL
    EXPECT_EQ(Header(r, "X-goog-api-key"), kKey);
    EXPECT_EQ(Header(r, "Content-Type"), "application/json");
    EXPECT_EQ(json::parse(r["body"].get<std::string>()),
              json::parse(R"({"q":"你好。","source":"zh-CN","target":"en","format":"text"})"));

    EXPECT_EQ(e->TranslatePiece(u"hello", "en", "zh-CN").text, u"[zh-CN] 你好");
    EXPECT_EQ(json::parse(OnlyTranslateRequest()["body"].get<std::string>()),
              json::parse(R"({"q":"hello","source":"en","target":"zh-CN","format":"text"})"));
}

TEST_F(Loopback, MicrosoftRequestAndAnswer) {
    auto e = Make("microsoft");
    EXPECT_EQ(e->TranslatePiece(u"你好。", "zh-CN", "en").text, u"[en] hello。");
    json r = OnlyTranslateRequest();
    EXPECT_EQ(r["path"], "/translate");
    EXPECT_EQ(r["query"], "api-version=3.0&from=zh-Hans&to=en");
    EXPECT_EQ(Header(r, "Ocp-Apim-Subscription-Key"), kKey);
    EXPECT_EQ(Header(r, "Ocp-Apim-Subscription-Region"), "westeurope");
    EXPECT_EQ(Header(r, "Content-Type"), "application/json");
    EXPECT_EQ(json::parse(r["body"].get<std::string>()), json::parse(R"([{"Text":"你好。"}])"));

    EXPECT_EQ(e->TranslatePiece(u"thanks", "en", "zh-TW").text, u"[zh-Hant] 谢谢");
    EXPECT_EQ(OnlyTranslateRequest()["query"], "api-version=3.0&from=en&to=zh-Hant");
}

TEST_F(Loopback, LibreTranslateAsksForItsLanguagesOnceThenPosts) {
    auto e = Make("libretranslate");
    EXPECT_EQ(e->TranslatePiece(u"你好。", "zh-CN", "en").text, u"[en] hello。");
    EXPECT_EQ(e->TranslatePiece(u"hello", "en", "zh-TW").text, u"[zt] 你好");
    json all = standin.TakeRequests();
    ASSERT_EQ(all.size(), 3u) << all.dump();
    EXPECT_EQ(all[0]["method"], "GET");
    EXPECT_EQ(all[0]["path"], "/languages");
    EXPECT_EQ(all[1]["path"], "/translate");
    EXPECT_EQ(all[1]["query"], "");
    EXPECT_EQ(Header(all[1], "Content-Type"), "application/json");
    EXPECT_EQ(json::parse(all[1]["body"].get<std::string>()),
              json::parse(R"({"q":"你好。","source":"zh","target":"en","format":"text",
                              "api_key":"standin-key"})"));
    EXPECT_EQ(json::parse(all[2]["body"].get<std::string>())["target"], "zt");
    // Not offered by this server: no request at all.
    EXPECT_FALSE(e->Supports("en", "vi"));
    EXPECT_TRUE(standin.TakeRequests().empty());
}

TEST(LoopbackLibre, WithoutAKeyNoKeyIsSentAndNewCodesAreFollowed) {
    StandinProcess standin({"--libre-open", "--libre-modern"});
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    platform::posix::CurlHttp http{loop, ShortLimits()};
    platform::posix::IconvCodePage codePage;
    LibreTranslateEngine e(http, codePage, {standin.Url("/translate"), "", ""});
    EXPECT_EQ(e.TranslatePiece(u"你好", "zh-CN", "en").text, u"[en] hello");
    json all = standin.TakeRequests();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(json::parse(all[1]["body"].get<std::string>()),
              json::parse(R"({"q":"你好","source":"zh-Hans","target":"en","format":"text"})"));
}

TEST(LoopbackLibre, WithoutALanguageListTheUsualCodesAreUsed) {
    StandinProcess standin({"--libre-no-list"});
    platform::fake::FakeClock clock;
    platform::fake::ActionLog log;
    platform::fake::FakeEventLoop loop{clock, log};
    platform::posix::CurlHttp http{loop, ShortLimits()};
    platform::posix::IconvCodePage codePage;
    LibreTranslateEngine e(http, codePage, {standin.Url("/translate"), kKey, ""});
    EXPECT_TRUE(e.Supports("en", "vi"));  // taken on trust
    EXPECT_EQ(e.TranslatePiece(u"hello", "en", "zh-TW").text, u"[zt] 你好");
    EXPECT_EQ(e.TranslatePiece(u"hello", "en", "vi").failure.kind, K::BadRequest);
    // The list is not asked for again after it failed once.
    json all = standin.TakeRequests();
    int lists = 0;
    for (const auto& r : all) lists += r["path"] == "/languages";
    EXPECT_EQ(lists, 1);
}

TEST_F(Loopback, ApyRequestAndAnswer) {
    auto e = Make("apy");
    EXPECT_FALSE(e->Supports("zh-CN", "en"));
    EXPECT_FALSE(e->Supports("en", "it"));  // both Apertium languages, pair not installed
    EXPECT_EQ(e->TranslatePiece(u"hello", "en", "es").text, u"[spa] hola");
    json r = OnlyTranslateRequest();
    EXPECT_EQ(r["path"], "/apy/translate");
    EXPECT_EQ(Header(r, "Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r["body"], "langpair=eng|spa&q=hello&markUnknown=no");

    EXPECT_EQ(e->TranslatePiece(u"¿adiós? 再见", "es", "en").text, u"[eng] ¿adiós? goodbye");
    EXPECT_EQ(OnlyTranslateRequest()["body"],
              "langpair=spa|eng&q=%C2%BFadi%C3%B3s%3F%20%E5%86%8D%E8%A7%81&markUnknown=no");
}

struct ErrorCase {
    const char* fault;
    std::optional<int> retryAfter;
    FailureKind kind;
};

TEST_F(Loopback, EveryErrorClassOfEveryEngine) {
    const ErrorCase cases[] = {
        {"400", {}, K::BadRequest},      {"429", 7, K::RateLimited},
        {"429", {}, K::RateLimited},     {"456", 11, K::QuotaExceeded},
        {"500", {}, K::ServerError},     {"503", {}, K::ServerError},
        {"empty", {}, K::NoTranslation}, {"garbage", {}, K::NoTranslation},
    };
    for (const char* name : {"deepl", "google", "microsoft", "libretranslate", "apy"}) {
        auto e = Make(name);
        const std::string src = std::string(name) == "apy" ? "en" : "zh-CN";
        const std::string dst = std::string(name) == "apy" ? "es" : "en";
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(name) + " " + c.fault);
            json rule = {{"api", name}, {"fault", c.fault}, {"count", 1}};
            if (c.retryAfter) rule["retryAfter"] = *c.retryAfter;
            standin.Rule(rule);
            const PieceResult r = e->TranslatePiece(u"hello", src, dst);
            ASSERT_FALSE(r.text);
            EXPECT_EQ(r.failure.kind, c.kind) << r.failure.detail;
            EXPECT_EQ(r.failure.retryAfterSeconds, c.retryAfter);
            // The stand-in repeats the key in its error messages; the detail must not.
            EXPECT_EQ(r.failure.detail.find(kKey), std::string::npos) << r.failure.detail;
        }
        // The rules were used up: the next piece translates.
        EXPECT_TRUE(e->TranslatePiece(u"hello", src, dst).text) << name;
    }
}

TEST_F(Loopback, WrongKeyIsABadKeyAndNeverShown) {
    const std::string wrong = "wrong-key-4711:fx";
    for (const char* name : {"deepl", "google", "microsoft", "libretranslate"}) {
        auto e = Make(name, wrong);
        const PieceResult r = e->TranslatePiece(u"你好", "zh-CN", "en");
        ASSERT_FALSE(r.text) << name;
        EXPECT_EQ(r.failure.kind, K::BadKey) << name << ": " << r.failure.detail;
        EXPECT_EQ(r.failure.detail.find("wrong-key-4711"), std::string::npos) << r.failure.detail;
        EXPECT_EQ(r.failure.detail.find("wrong-key-4711%3Afx"), std::string::npos);
        EXPECT_NE(r.failure.detail.find("***"), std::string::npos) << r.failure.detail;
    }
}

TEST_F(Loopback, ClosedPortIsATransportFailureWithoutTheKey) {
    // A port that was just free: nothing listens there.
    std::string url;
    {
        StandinProcess gone;
        url = gone.Url("/language/translate/v2");
    }
    HostedApiEngine e(kGoogleApi, http, codePage, {url, "secret-key-99", ""});
    const PieceResult r = e.TranslatePiece(u"hello", "en", "es");
    ASSERT_FALSE(r.text);
    EXPECT_EQ(r.failure.kind, K::Transport);
    EXPECT_EQ(r.failure.detail.find("secret-key-99"), std::string::npos) << r.failure.detail;
}

TEST_F(Loopback, TranslatorFallsBackAndExplainsWithoutKeys) {
    auto deepl = Make("deepl");
    auto google = Make("google");
    Router router({deepl.get(), google.get()}, clock);
    EngineTranslator translator(router, codePage);

    standin.Rule({{"api", "deepl"}, {"fault", "456"}, {"retryAfter", 30}});
    auto out = translator.Translate(u"你好。谢谢", "zh-CN", "en");
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.text, u"[en] hello。[en] thanks");
    ASSERT_EQ(out.pieces.size(), 2u);
    EXPECT_EQ(out.pieces[0].engine, "google");
    EXPECT_EQ(out.pieces[0].failures.at(0).second.kind, K::QuotaExceeded);
    EXPECT_EQ(out.pieces[1].failures.at(0).second.kind, K::SkippedBackoff);
    int deeplPosts = 0;
    for (const auto& r : standin.TakeRequests()) deeplPosts += r["path"] == "/v2/translate";
    EXPECT_EQ(deeplPosts, 1);  // the second piece did not go to DeepL

    standin.Rule({{"api", "google"}, {"fault", "500"}});
    auto failed = translator.Translate(u"你好。", "zh-CN", "en");
    EXPECT_FALSE(failed.complete);
    EXPECT_EQ(failed.text, u"");
    const std::string reason = failed.Reason();
    EXPECT_NE(reason.find("google: server error (HTTP 500)"), std::string::npos) << reason;
    EXPECT_NE(reason.find("deepl: waiting"), std::string::npos) << reason;
    EXPECT_EQ(reason.find(kKey), std::string::npos) << reason;
}

// A server that answers everything with a redirect to a second one on another port, which
// records all it receives: the way a captive portal or a forged answer would ask for the key.
TEST_F(Loopback, KeysAreNeverRedirectedToAnotherServerAndTheNextEngineTranslates) {
    const std::string key = "redirected-key-31337";
    std::mutex m;
    std::vector<std::string> received;
    LocalServer elsewhere([&](httplib::Server& srv) {
        const auto record = [&](const httplib::Request& req, httplib::Response& res) {
            std::string all = req.method + " " + req.target + "\n";
            for (const auto& [name, value] : req.headers) all += name + ": " + value + "\n";
            std::lock_guard lock(m);
            received.push_back(all + "\n" + req.body);
            res.set_content("[]", "application/json");
        };
        srv.Get(".*", record);
        srv.Post(".*", record);
    });
    long status = 0;
    LocalServer hijacked([&](httplib::Server& srv) {
        const auto move = [&](const httplib::Request& req, httplib::Response& res) {
            res.status = static_cast<int>(status);
            res.set_header("Location", elsewhere.Url(req.target));
        };
        srv.Get(".*", move);
        srv.Post(".*", move);
    });
    const std::map<std::string, std::string> paths = {{"deepl", "/v2/translate"},
                                                      {"google", "/language/translate/v2"},
                                                      {"microsoft", "/translate"},
                                                      {"libretranslate", "/translate"}};
    for (long s : {301L, 302L, 303L, 307L, 308L}) {
        status = s;
        for (const auto& [name, path] : paths) {
            std::unique_ptr<IEngine> victim;
            const HttpEngineSettings at{hijacked.Url(path), key, "westeurope"};
            if (name == "libretranslate")
                victim = std::make_unique<LibreTranslateEngine>(http, codePage, at);
            else
                victim = std::make_unique<HostedApiEngine>(name == "deepl"    ? kDeeplApi
                                                           : name == "google" ? kGoogleApi
                                                                              : kMicrosoftApi,
                                                           http, codePage, at);
            auto next = Make(name == "google" ? "deepl" : "google");
            Router router({victim.get(), next.get()}, clock);
            EngineTranslator translator(router, codePage);
            const auto out = translator.Translate(u"hello", "en", "es");
            const std::string where = name + " answered " + std::to_string(s);
            EXPECT_TRUE(out.complete) << where;
            ASSERT_EQ(out.pieces.size(), 1u) << where;
            EXPECT_EQ(out.pieces[0].engine, next->Name()) << where;
            ASSERT_EQ(out.pieces[0].failures.size(), 1u) << where;
            const EngineFailure& failure = out.pieces[0].failures[0].second;
            EXPECT_EQ(failure.kind, K::Transport) << where;
            EXPECT_NE(failure.detail.find("redirect"), std::string::npos) << failure.detail;
            EXPECT_EQ(failure.detail.find(key), std::string::npos) << failure.detail;
            EXPECT_EQ(out.Reason().find(key), std::string::npos) << out.Reason();
        }
    }
    std::lock_guard lock(m);
    for (const auto& request : received) {
        // Only LibreTranslate's language list, which carries no key, may follow.
        EXPECT_EQ(request.rfind("GET /languages", 0), 0u) << request;
        EXPECT_EQ(request.find(key), std::string::npos) << request;
    }
}

}  // namespace
}  // namespace velmora::translate::engines
