#include "translate/mduTranHttpProtol.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/fake/FakePlatform.h"

namespace velmora::translate {
namespace {

using platform::HttpError;
using platform::HttpResponse;

TEST(PercentEncodeUtf8, EncodesEveryByteUpperCase) {
    platform::fake::FakeCodePage cp;
    struct Case {
        std::u16string text;
        std::string encoded;
    } cases[] = {
        {u"", ""},
        {u"abc", "%61%62%63"},
        {u"中", "%E4%B8%AD"},
        {u"\r\n", "%0D%0A"},
        {u" ", "%20"},
        {u"-._~", "%2D%2E%5F%7E"},
        {u"\U0001F600", "%F0%9F%98%80"},
        {u"\x7F\x0A", "%7F%0A"},
    };
    for (const auto& c : cases) EXPECT_EQ(PercentEncodeUtf8(cp, c.text), c.encoded);
}

TEST(BuildTranslationForm, FieldsInOrderWithCodesUnencoded) {
    platform::fake::FakeCodePage cp;
    EXPECT_EQ(BuildTranslationForm(cp, u"你好", "zh-CN", "en"),
              "hl=zh-CN&ie=UTF-8&text=%E4%BD%A0%E5%A5%BD&sl=zh-CN&tl=en");
    EXPECT_EQ(BuildTranslationForm(cp, u"", "en", "zh-TW"),
              "hl=zh-CN&ie=UTF-8&text=&sl=en&tl=zh-TW");
    EXPECT_TRUE(BuildTranslationForm(cp, u"a\r\n", "en", "es").ends_with("%61%0D%0A&sl=en&tl=es"));
}

struct ExchangeFixture : ::testing::Test {
    platform::fake::FakePlatform fp;
    TranslateContext ctx{fp.http, fp.codePage, fp.loop, "http://127.0.0.1:18080/translate_t"};
};

TEST_F(ExchangeFixture, PostsTheFormWithTheFourHeadersInOrder) {
    fp.http.responses.push_back(HttpResponse{200, "page"});
    RequestTranslation(ctx, u"你好", "zh-CN", "en");
    ASSERT_EQ(fp.http.requests.size(), 1u);
    const auto& r = fp.http.requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.url, ctx.endpointUrl);
    EXPECT_EQ(r.body, "hl=zh-CN&ie=UTF-8&text=%E4%BD%A0%E5%A5%BD&sl=zh-CN&tl=en");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Referer", "http://127.0.0.1:18080/translate_t"},
        {"Accept-Charset", "gb2312,utf-8;q=0.7,*;q=0.7"},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Content-Length", "56"},
    };
    EXPECT_EQ(r.headers, expected);
}

TEST_F(ExchangeFixture, ReturnsAnyStatusBodyDecodedAndYieldsOnceAfter) {
    struct Case {
        long status;
        std::string body;
        std::u16string page;
    } cases[] = {
        {200, "<b>好</b>", u"<b>好</b>"},
        {404, "<html>Not Found</html>", u"<html>Not Found</html>"},
        {500, "<html>oops</html>", u"<html>oops</html>"},
        {200, "", u""},
        {200,
         "a\xFF"
         "b",
         u"a\uFFFDb"},
    };
    for (const auto& c : cases) {
        fp.http.responses.push_back(HttpResponse{c.status, c.body});
        const int before = fp.loop.yields();
        EXPECT_EQ(RequestTranslation(ctx, u"x", "en", "es"), c.page);
        EXPECT_EQ(fp.loop.yields(), before + 1);
    }
}

TEST_F(ExchangeFixture, TransportFailureReachesTheCaller) {
    // The fake's empty answer queue stands for a refused connection.
    EXPECT_THROW(RequestTranslation(ctx, u"x", "en", "es"), HttpError);
}

}  // namespace
}  // namespace velmora::translate
