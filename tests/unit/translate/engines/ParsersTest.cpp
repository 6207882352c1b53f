// Each engine's answer parser over good answers, every error class and hostile bytes.

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "platform/fake/FakePlatform.h"
#include "translate/engines/ApyEngine.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/FormEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/HttpHeaders.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/MicrosoftEngine.h"
#include "translate/engines/Redaction.h"

namespace velmora::translate::engines {
namespace {

using platform::HttpResponse;
using K = FailureKind;

const std::string kKey = "SeCrEt-KeY-0042";
const platform::fake::FakeCodePage kCodePage;

struct Case {
    const char* name;
    long status;
    std::string body;
    std::optional<std::u16string> text;   // expected translation, or
    FailureKind kind = K::NoTranslation;  // the expected failure
    HttpHeaders headers = {};
    std::optional<int> retryAfter = std::nullopt;
};

using Parser = std::function<PieceResult(const HttpResponse&)>;

void Check(const Parser& parse, const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PieceResult r = parse(HttpResponse(c.status, c.body, c.headers));
        EXPECT_EQ(r.text, c.text);
        if (c.text) continue;
        EXPECT_EQ(r.failure.kind, c.kind) << r.failure.detail;
        EXPECT_EQ(r.failure.retryAfterSeconds, c.retryAfter);
        EXPECT_FALSE(r.failure.detail.empty());
        EXPECT_EQ(r.failure.detail.find(kKey), std::string::npos) << r.failure.detail;
    }
}

const HttpHeaders kRetry7 = {{"retry-after", "7"}};

TEST(ParseLibreTranslateAnswer, Table) {
    Check(
        [](const HttpResponse& r) { return ParseLibreTranslateAnswer(r, kCodePage, kKey); },
        {
            {"good", 200, R"({"translatedText":"¡Hola!"})", u"¡Hola!"},
            {"good with detection", 200,
             R"({"detectedLanguage":{"confidence":90,"language":"en"},"translatedText":"你好"})",
             u"你好"},
            {"escapes", 200, R"({"translatedText":"a\nb \u4f60 \"q\""})", u"a\nb 你 \"q\""},
            {"400", 400, R"({"error":"Invalid request: missing q parameter"})", {}, K::BadRequest},
            {"403 echoing the key",
             403,
             R"({"error":"Invalid API key )" + kKey + R"("})",
             {},
             K::BadKey},
            {"429 with Retry-After",
             429,
             R"({"error":"Slowdown: 20 per 1 minute"})",
             {},
             K::RateLimited,
             kRetry7,
             7},
            {"429 without", 429, R"({"error":"Slowdown"})", {}, K::RateLimited},
            {"500", 500, R"({"error":"Cannot translate text"})", {}, K::ServerError},
            {"502 html", 502, "<html>Bad gateway</html>", {}, K::ServerError},
            {"missing field", 200, R"({"translated":"x"})", {}, K::NoTranslation},
            {"wrong type", 200, R"({"translatedText":["x"]})", {}, K::NoTranslation},
            {"null", 200, R"({"translatedText":null})", {}, K::NoTranslation},
            {"array root", 200, R"(["x"])", {}, K::NoTranslation},
            {"not json", 200, "<html>hi</html>", {}, K::NoTranslation},
            {"empty body", 200, "", {}, K::NoTranslation},
            {"error of wrong type", 400, R"({"error":{"x":1}})", {}, K::BadRequest},
        });
}

TEST(ParseDeeplAnswer, Table) {
    Check([](const HttpResponse& r) { return ParseDeeplAnswer(r, kCodePage, kKey); },
          {
              {"good", 200,
               R"({"translations":[{"detected_source_language":"ZH","text":"Hello"}]})", u"Hello"},
              {"second ignored", 200, R"({"translations":[{"text":"a"},{"text":"b"}]})", u"a"},
              {"456 quota", 456, R"({"message":"Quota exceeded"})", {}, K::QuotaExceeded},
              {"456 with Retry-After", 456, "", {}, K::QuotaExceeded, kRetry7, 7},
              {"429",
               429,
               R"({"message":"Too many requests"})",
               {},
               K::RateLimited,
               {{"Retry-After", "120"}},
               120},
              {"429 date form",
               429,
               "",
               {},
               K::RateLimited,
               {{"Retry-After", "Wed, 21 Oct 2015 07:28:00 GMT"}}},
              {"403", 403, R"({"message":"Authorization failure )" + kKey + R"("})", {}, K::BadKey},
              {"401", 401, "", {}, K::BadKey},
              {"400",
               400,
               R"({"message":"Value for 'target_lang' not supported."})",
               {},
               K::BadRequest},
              {"413", 413, "", {}, K::BadRequest},
              {"503", 503, "", {}, K::ServerError},
              {"529", 529, "", {}, K::ServerError},
              {"empty list", 200, R"({"translations":[]})", {}, K::NoTranslation},
              {"text not a string", 200, R"({"translations":[{"text":5}]})", {}, K::NoTranslation},
              {"translations an object",
               200,
               R"({"translations":{"text":"x"}})",
               {},
               K::NoTranslation},
              {"truncated", 200, R"({"translations":[{"text":"Hel)", {}, K::NoTranslation},
              {"302 unfollowed", 302, "", {}, K::NoTranslation},
          });
}

TEST(ParseGoogleAnswer, Table) {
    auto error = [](int code, const std::string& reason, const std::string& message) {
        return R"({"error":{"code":)" + std::to_string(code) + R"(,"message":")" + message +
               R"(","errors":[{"message":"m","domain":"global","reason":")" + reason + R"("}]}})";
    };
    Check([](const HttpResponse& r) { return ParseGoogleAnswer(r, kCodePage, kKey); },
          {
              {"good", 200, R"({"data":{"translations":[{"translatedText":"Hallo Welt"}]}})",
               u"Hallo Welt"},
              {"invalid key is 400 with a reason",
               400,
               error(400, "keyInvalid", "API key not valid " + kKey),
               {},
               K::BadKey},
              {"invalid key in details",
               400,
               R"({"error":{"code":400,"message":"x","details":[{"reason":"API_KEY_INVALID"}]}})",
               {},
               K::BadKey},
              {"rate limit is 403 with a reason",
               403,
               error(403, "userRateLimitExceeded", "slow"),
               {},
               K::RateLimited,
               kRetry7,
               7},
              {"daily limit", 403, error(403, "dailyLimitExceeded", "quota"), {}, K::QuotaExceeded},
              {"forbidden", 403, error(403, "forbidden", "no"), {}, K::BadKey},
              {"bad request", 400, error(400, "invalid", "Invalid Value"), {}, K::BadRequest},
              {"429 plain", 429, "", {}, K::RateLimited},
              {"500", 500, error(500, "backendError", "x"), {}, K::ServerError},
              {"missing data", 200, R"({"translations":[]})", {}, K::NoTranslation},
              {"translations empty", 200, R"({"data":{"translations":[]}})", {}, K::NoTranslation},
              {"error fields of wrong types",
               400,
               R"({"error":{"errors":"x","details":7}})",
               {},
               K::BadRequest},
          });
}

TEST(ParseMicrosoftAnswer, Table) {
    Check(
        [](const HttpResponse& r) { return ParseMicrosoftAnswer(r, kCodePage, kKey); },
        {
            {"good", 200, R"([{"translations":[{"text":"你好","to":"zh-Hans"}]}])", u"你好"},
            {"401",
             401,
             R"({"error":{"code":401000,"message":"credentials )" + kKey + R"("}})",
             {},
             K::BadKey},
            {"free quota used up",
             403,
             R"({"error":{"code":403001,"message":"free quota exceeded"}})",
             {},
             K::QuotaExceeded},
            {"403 other", 403, R"({"error":{"code":403000,"message":"forbidden"}})", {}, K::BadKey},
            {"429",
             429,
             R"({"error":{"code":429001,"message":"slow"}})",
             {},
             K::RateLimited,
             kRetry7,
             7},
            {"400", 400, R"({"error":{"code":400036,"message":"bad target"}})", {}, K::BadRequest},
            {"503", 503, R"({"error":{"code":503000,"message":"x"}})", {}, K::ServerError},
            {"object root", 200, R"({"translations":[{"text":"x"}]})", {}, K::NoTranslation},
            {"empty array", 200, "[]", {}, K::NoTranslation},
            {"code as string", 403, R"({"error":{"code":"403001"}})", {}, K::BadKey},
        });
}

TEST(ParseApyAnswer, Table) {
    Check(
        [](const HttpResponse& r) { return ParseApyAnswer(r, kCodePage, kKey); },
        {
            {"good", 200,
             R"({"responseData":{"translatedText":"hola"},"responseDetails":null,"responseStatus":200})",
             u"hola"},
            {"good without status", 200, R"({"responseData":{"translatedText":"hola"}})", u"hola"},
            {"pair not installed",
             400,
             R"({"status":"error","code":400,"message":"Bad Request","explanation":"That pair is not installed"})",
             {},
             K::BadRequest},
            {"failure inside a 200",
             200,
             R"({"responseData":{"translatedText":"x"},"responseStatus":503,"responseDetails":"busy"})",
             {},
             K::ServerError},
            {"429 inside a 200", 200, R"({"responseStatus":429})", {}, K::RateLimited},
            {"absurd status inside",
             200,
             R"({"responseStatus":123456789012})",
             {},
             K::NoTranslation},
            {"500", 500, "", {}, K::ServerError},
            {"missing data", 200, R"({"responseStatus":200})", {}, K::NoTranslation},
            {"status of wrong type", 200, R"({"responseStatus":"200"})", {}, K::NoTranslation},
        });
}

TEST(ParseFormAnswer, MarkerDecidesWhateverTheStatus) {
    const std::string m = "<div id=result_box dir=\"ltr\">";
    Check([](const HttpResponse& r) { return ParseFormAnswer(r, kCodePage); },
          {
              {"good, decoded", 200, "<p>" + m + "a &lt;b&gt;\rc</div>", u"a <b>\r\nc"},
              {"marker on an error page", 500, m + "x</div>", u"x"},
              {"no marker", 200, "<html>Error</html>", {}, K::NoTranslation},
              {"429", 429, "busy", {}, K::RateLimited, kRetry7, 7},
              {"503", 503, "", {}, K::ServerError},
          });
}

// Bytes no server should send: none may crash, throw or leak the key, and any failure is
// bounded in length.
TEST(Parsers, HostileBytesGiveABoundedOutcome) {
    const std::vector<std::pair<const char*, Parser>> parsers = {
        {"libre", [](auto& r) { return ParseLibreTranslateAnswer(r, kCodePage, kKey); }},
        {"deepl", [](auto& r) { return ParseDeeplAnswer(r, kCodePage, kKey); }},
        {"google", [](auto& r) { return ParseGoogleAnswer(r, kCodePage, kKey); }},
        {"microsoft", [](auto& r) { return ParseMicrosoftAnswer(r, kCodePage, kKey); }},
        {"apy", [](auto& r) { return ParseApyAnswer(r, kCodePage, kKey); }},
        {"form", [](auto& r) { return ParseFormAnswer(r, kCodePage); }},
    };
    std::vector<std::string> bodies = {
        std::string(200000, '['),
        std::string(100000, '{') + "\"a\":",
        "{\"error\":\"" + std::string(1 << 20, 'x') + kKey + "\"}",
        "{\"message\":\"\xFF\xFE\x80 " + kKey + "\"}",
        std::string("{\"translatedText\":\"\0\",\"x\":1}", 26),
        "{\"error\":{\"message\":\"" + std::string(5000, '\x01') + "\"}}",
        "{\"translatedText\":\"\\ud800\"}",
        "1e999999",
        "-",
        "{\"responseStatus\":-9223372036854775808}",
        "{\"responseStatus\":18446744073709551615}",
    };
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        std::string b(rng() % 512, '\0');
        for (auto& c : b) c = static_cast<char>(rng());
        bodies.push_back(std::move(b));
    }
    for (const auto& [name, parse] : parsers) {
        for (long status : {0L, 200L, 204L, 301L, 400L, 429L, 456L, 500L, 999L, -1L}) {
            for (const auto& body : bodies) {
                PieceResult r;
                ASSERT_NO_THROW(r = parse(HttpResponse(status, body, {{"Retry-After", body}})))
                    << name;
                if (r.text) continue;
                EXPECT_LE(r.failure.detail.size(), 200u) << name;
                EXPECT_EQ(r.failure.detail.find(kKey), std::string::npos) << name;
            }
        }
    }
}

TEST(ParseRetryAfter, DeltaSecondsOnlyAndCapped) {
    auto parse = [](std::string v) { return ParseRetryAfter({{"Retry-After", v}}); };
    EXPECT_EQ(parse("0"), 0);
    EXPECT_EQ(parse(" 30 "), 30);
    EXPECT_EQ(parse("999999999"), 24 * 3600);
    for (const char* bad :
         {"", "-1", "1.5", "30s", "Fri, 31 Dec 1999 23:59:59 GMT", "99999999999999999999"})
        EXPECT_EQ(parse(bad), std::nullopt) << bad;
    EXPECT_EQ(ParseRetryAfter({{"RETRY-AFTER", "5"}}), 5);
    EXPECT_EQ(ParseRetryAfter({}), std::nullopt);
}

TEST(Redact, KeyAsIsAndPercentEncoded) {
    EXPECT_EQ(Redact("url?key=a/b+c&x=a%2Fb%2Bc", "a/b+c"), "url?key=***&x=***");
    EXPECT_EQ(Redact("nothing", ""), "nothing");
    EXPECT_EQ(Redact("kkk", "kk"), "***k");
}

}  // namespace
}  // namespace velmora::translate::engines
