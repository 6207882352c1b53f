#include "app/core/EngineSet.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/fake/FakePlatform.h"

namespace velmora::app {
namespace {

using platform::HttpRequest;
using platform::HttpResponse;

// The engines here never start programs.
struct NoPrograms : platform::IProgramRunner {
    std::unique_ptr<platform::IPipeline> NewPipeline() override { return nullptr; }
    platform::RunResult Run(const platform::Argv&, std::string_view, int, std::size_t) override {
        return {};
    }
};

Configuration LibreAt(const std::string& url) {
    Configuration c;
    c.engines = {"libretranslate"};
    c.engineSettings["libretranslate"].url = url;
    return c;
}

struct EngineSetTest : ::testing::Test {
    platform::fake::FakePlatform fp;
    NoPrograms programs;
    std::vector<std::string> logged;
    EngineServices services{fp.http,  fp.codePage,
                            fp.loop,  programs,
                            fp.clock, [this](const std::string& line) { logged.push_back(line); }};
    std::vector<std::string> posts;  // the URL of every translation request

    // A LibreTranslate server that answers with the host it was reached at; the language list
    // is refused, so the usual codes are assumed.
    HttpResponse Answer(const HttpRequest& r) {
        if (r.method != "POST") return HttpResponse(404, "");
        posts.push_back(r.url);
        const std::string host = r.url.substr(7, r.url.find('/', 7) - 7);
        return HttpResponse(200, R"({"translatedText": ")" + host + R"("})");
    }
};

TEST_F(EngineSetTest, ReloadServesTheNextTranslationAndSparesOneUnderWay) {
    EngineSet set(LibreAt("http://old/translate"), services);
    translate::ITranslator& translator = set.Translator();
    fp.http.handler = [this](const HttpRequest& r) { return Answer(r); };
    EXPECT_EQ(translator.Translate(u"hello", "en", "fr").text, u"old");

    // Saved while a translation waits on the old server: that one still ends on the old
    // engines (which must still be alive), the next goes to the new one.
    fp.http.handler = [&](const HttpRequest& r) {
        set.Reload(LibreAt("http://new/translate"));
        return Answer(r);
    };
    const auto during = translator.Translate(u"hello", "en", "fr");
    EXPECT_TRUE(during.complete);
    EXPECT_EQ(during.text, u"old");
    fp.http.handler = [this](const HttpRequest& r) { return Answer(r); };
    EXPECT_EQ(&set.Translator(), &translator);
    EXPECT_EQ(translator.TranslateText(u"hello", "en", "fr"), u"new");
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts.back(), "http://new/translate");

    // No engine at all after a reload: no translation, and a reason.
    Configuration none;
    set.Reload(none);
    const auto empty = translator.Translate(u"hello", "en", "fr");
    EXPECT_FALSE(empty.complete);
    EXPECT_FALSE(empty.Reason().empty());
    EXPECT_EQ(posts.size(), 3u);
}

TEST_F(EngineSetTest, TheSameLanguageOnBothSidesPassesAsItIsWithoutAnyRequest) {
    EngineSet set(LibreAt("http://libre/translate"), services);
    fp.http.handler = [this](const HttpRequest& r) { return Answer(r); };
    const auto same =
        set.Translator().Translate(u"你好，我们明天下午三点见面吧。", "zh-CN", "zh-CN");
    EXPECT_TRUE(same.complete);
    EXPECT_TRUE(same.sameLanguage);
    EXPECT_EQ(same.text, u"你好，我们明天下午三点见面吧。");
    EXPECT_EQ(set.Translator().TranslateText(u"hi", "en", "en"), u"hi");
    EXPECT_TRUE(fp.http.requests.empty());
    EXPECT_FALSE(set.Translator().Translate(u"hello", "en", "fr").sameLanguage);
}

TEST_F(EngineSetTest, AnEngineTakenOutOfUseIsLogged) {
    EngineSet set(LibreAt("http://dead/translate"), services);
    fp.http.handler = [](const HttpRequest&) -> HttpResponse {
        throw platform::HttpError("HTTP request timed out");
    };
    EXPECT_FALSE(set.Translate(u"hello", "en", "fr").complete);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].rfind("engine libretranslate not asked for 30 s", 0), 0u) << logged[0];
}

TEST_F(EngineSetTest, ATestOfOneEngineSaysInWordsWhyItFailed) {
    const EngineSettings deepl{"http://deepl/v2/translate", "k", ""};
    struct Case {
        std::optional<HttpResponse> answer;  // none: the server cannot be reached
        bool ok;
        const char* text;
    } cases[] = {
        {HttpResponse(200, R"({"translations": [{"text": "Hello, friend"}]})"), true,
         "Hello, friend"},
        {HttpResponse(403, R"({"message": "Wrong key http://deepl/x"})"), false, "密钥无效"},
        {HttpResponse(456, R"({"message": "Quota exceeded"})"), false, "额度已用完"},
        {HttpResponse(429, "", {{"Retry-After", "7"}}), false, "请求过于频繁（请 7 秒后再试）"},
        {HttpResponse(503, ""), false, "服务器出错，请稍后再试"},
        {std::nullopt, false, "无法连接（请检查地址和网络）"},
    };
    for (const Case& c : cases) {
        fp.http.handler = nullptr;
        fp.http.responses.clear();
        if (c.answer) fp.http.responses.push_back(*c.answer);
        const auto [ok, text] = EngineSet::TryEngine("deepl", deepl, Configuration{}, services,
                                                     u"你好，朋友", "zh-CN", "en");
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(text, c.text);
    }
    // A pair the engine does not offer is never sent.
    const std::size_t sent = fp.http.requests.size();
    const auto [ok, text] =
        EngineSet::TryEngine("deepl", deepl, Configuration{}, services, u"hello", "en", "ga");
    EXPECT_FALSE(ok);
    EXPECT_EQ(text, "此引擎不支持测试所用的语言对");
    EXPECT_EQ(fp.http.requests.size(), sent);
}

}  // namespace
}  // namespace velmora::app
