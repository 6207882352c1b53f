#include "translate/mduTranslate.h"

#include <gtest/gtest.h>

#include "platform/fake/FakePlatform.h"

namespace velmora::translate {
namespace {

using platform::HttpError;
using platform::HttpRequest;
using platform::HttpResponse;

const std::string kMarker = "<div id=result_box dir=\"ltr\">";

TEST(ResultMarker, Is29Characters) {
    EXPECT_EQ(kResultMarker.size(), 29u);
}

TEST(ExtractTranslation, CutsAfterTheFirstMarkerUpToTheNextLessThan) {
    const std::u16string m(kResultMarker);
    struct Case {
        const char* name;
        std::u16string page;
        std::optional<std::u16string> expected;
    } cases[] = {
        {"plain", u"<html>" + m + u"Hello</div></html>", u"Hello"},
        {"wrapped", m + u"<span>Hello</span></div>", u""},
        {"first marker wins", m + u"one</div>" + m + u"two</div>", u"one"},
        {"no marker", u"<html><body>Hello world, a long page</body></html>", std::nullopt},
        {"no less-than after marker", u"<p>" + m + u"Hello", std::nullopt},
        {"marker at the end", u"<p>" + m, std::nullopt},
        {"marker in other case", u"<DIV id=result_box dir=\"ltr\">Hi</div>", std::nullopt},
        {"line ends kept", m + u"a\r\nb</div>", u"a\r\nb"},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtractTranslation(c.page), c.expected) << c.name;
}

TEST(DecodeTranslationText, FourReferencesInOrderThenCrToCrLf) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"&lt;b&gt;", u"<b>"},
        {u"it&#39;s &quot;ok&quot;", u"it's \"ok\""},
        {u"&amp; &nbsp; &#34; &LT;", u"&amp; &nbsp; &#34; &LT;"},
        // Each replacement works on the output of the one before.
        {u"&lt;&#39;&gt;", u"<'>"},
        {u"a\r\nb", u"a\r\n\nb"},
        {u"a\rb\nc", u"a\r\nb\nc"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeTranslationText(c.in), c.out);
}

TEST(ModeForSource, OnlyZhCnExactlyIsChinese) {
    EXPECT_EQ(ModeForSource("zh-CN"), SegmentMode::Chinese);
    for (const char* code : {"zh-TW", "en", "zh-cn", "zh-CN ", ""})
        EXPECT_EQ(ModeForSource(code), SegmentMode::Western) << code;
}

// Decodes the form's text field (the client encodes every byte as %XX).
std::string FormText(const HttpRequest& r) {
    auto b = r.body.find("&text=") + 6;
    auto e = r.body.find("&sl=");
    std::string enc = r.body.substr(b, e - b), out;
    for (std::size_t i = 0; i < enc.size(); i += 3)
        out += static_cast<char>(std::stoi(enc.substr(i + 1, 2), nullptr, 16));
    return out;
}

struct TranslateFixture : ::testing::Test {
    platform::fake::FakePlatform fp;
    TranslateContext ctx{fp.http, fp.codePage, fp.loop, "http://127.0.0.1:1/translate_t"};

    // Answers every piece through f, given the piece's text as UTF-8.
    void Answer(std::function<HttpResponse(const std::string&)> f) {
        fp.http.handler = [f](const HttpRequest& r) { return f(FormText(r)); };
    }
    static HttpResponse Good(const std::string& translation) {
        return {200, "<html>" + kMarker + translation + "</div></html>"};
    }
};

TEST_F(TranslateFixture, EmptyOrLineEndsOnlyMakesNoRequest) {
    for (std::u16string text : {u"", u"\r\n\r\n", u" \r\n"}) {
        EXPECT_EQ(TranslateText(ctx, text, "zh-CN", "en"), u"");
    }
    EXPECT_TRUE(fp.http.requests.empty());
}

TEST_F(TranslateFixture, PiecesAreSentInOrderAndJoined) {
    Answer([](const std::string& t) { return Good("T(" + t + ")"); });
    EXPECT_EQ(TranslateText(ctx, u"你好。再见", "zh-CN", "en"), u"T(你好。)T(再见)");
    ASSERT_EQ(fp.http.requests.size(), 2u);
    EXPECT_NE(fp.http.requests[0].body.find("&sl=zh-CN&tl=en"), std::string::npos);
}

TEST_F(TranslateFixture, FailedPiecesAddNothing) {
    struct Case {
        const char* name;
        std::string failOn;  // text of the piece that fails
        std::function<HttpResponse()> failure;
        std::u16string expected;
    } cases[] = {
        {"first refused", "a.", []() -> HttpResponse { throw HttpError("refused"); }, u"T( b.)"},
        {"second without marker", " b.",
         [] {
             return HttpResponse{200, "<html>Error</html>"};
         },
         u"T(a.)"},
        {"second without less-than", " b.",
         [] {
             return HttpResponse{200, kMarker + "zz"};
         },
         u"T(a.)"},
        {"first other exception", "a.", []() -> HttpResponse { throw std::runtime_error("odd"); },
         u"T( b.)"},
    };
    for (const auto& c : cases) {
        fp.http.requests.clear();
        Answer([&c](const std::string& t) {
            return t == c.failOn ? c.failure() : Good("T(" + t + ")");
        });
        EXPECT_EQ(TranslateText(ctx, u"a. b.", "en", "zh-CN"), c.expected) << c.name;
        EXPECT_EQ(fp.http.requests.size(), 2u) << c.name;
    }
}

TEST_F(TranslateFixture, EverythingFailingGivesEmptyText) {
    EXPECT_EQ(TranslateText(ctx, u"one. two. three.", "en", "es"), u"");
    EXPECT_EQ(fp.http.requests.size(), 3u);
}

TEST_F(TranslateFixture, ReferencesDecodedOnceOnTheJoinedResult) {
    // "&l" + "t;" only forms a reference once the pieces are joined.
    Answer([](const std::string& t) { return Good(t == "a." ? "&amp;&l" : "t;b&gt;\r\n"); });
    EXPECT_EQ(TranslateText(ctx, u"a. b.", "en", "es"), u"&amp;<b>\r\n\n");
}

TEST_F(TranslateFixture, SourceCodeChoosesTheMode) {
    Answer([](const std::string& t) { return Good(t); });
    struct Case {
        const char* src;
        std::size_t requests;
    } cases[] = {{"zh-CN", 1}, {"zh-TW", 2}, {"en", 2}};
    for (const auto& c : cases) {
        fp.http.requests.clear();
        EXPECT_EQ(TranslateText(ctx, u"3.14。", c.src, "en"), u"3.14。") << c.src;
        EXPECT_EQ(fp.http.requests.size(), c.requests) << c.src;
    }
}

TEST_F(TranslateFixture, NestedTranslationDuringTheYieldDoesNotDisturbTheOuterOne) {
    Answer([](const std::string& t) { return Good("T(" + t + ")"); });
    std::u16string inner;
    bool started = false;
    fp.loop.onYield = [&] {
        if (started) return;
        started = true;
        inner = TranslateText(ctx, u"x. y.", "en", "es");
    };
    EXPECT_EQ(TranslateText(ctx, u"a. b.", "en", "es"), u"T(a.)T( b.)");
    EXPECT_EQ(inner, u"T(x.)T( y.)");
}

TEST_F(TranslateFixture, HttpTranslatorMatchesTheFreeFunction) {
    Answer([](const std::string& t) { return Good("T(" + t + ")"); });
    HttpTranslator translator(ctx);
    ITranslator& api = translator;
    const std::u16string text = std::u16string(300, u'汉') + u"\r\nok? yes.";
    EXPECT_EQ(api.TranslateText(text, "zh-CN", "en"), TranslateText(ctx, text, "zh-CN", "en"));
    EXPECT_EQ(api.TranslateText(u"", "zh-CN", "en"), u"");
}

}  // namespace
}  // namespace velmora::translate
