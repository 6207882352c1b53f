#include "platform/posix/Pcre2Regex.h"

#include <gtest/gtest.h>

#include <string>

#include "relay/mduSendBuffer.h"
#include "support/RegexCases.h"

namespace velmora::platform::posix {
namespace {

TEST(Pcre2RegexTest, CommonSemanticsAndBadPatterns) {
    Pcre2RegexEngine engine;
    regex_cases::ExpectCommonSemantics(engine);
}

TEST(Pcre2RegexTest, DetectsPatternsThatOnlyNeedLineStarts) {
    EXPECT_TRUE(StartsEveryAlternativeWithDotRepeat(relay::mduSendBuffer::SpeakerLinePattern));
    EXPECT_TRUE(StartsEveryAlternativeWithDotRepeat(relay::mduSendBuffer::SpeakerNamePattern));
    EXPECT_TRUE(StartsEveryAlternativeWithDotRepeat(u".*?x|.+y"));
    EXPECT_TRUE(StartsEveryAlternativeWithDotRepeat(u".+[|]|.+(a|b)"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u".+a|b"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u".++a"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u"(?s).+a"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u".+\\Ga"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u"\\.+a"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u"(.+a)|.+b"));
}

TEST(Pcre2RegexTest, LineStartShortcutAgreesWithPlainSearch) {
    Pcre2RegexEngine engine;
    regex_cases::ExpectShortcutAgreesWithPlainSearch(
        engine,
        {std::u16string(relay::mduSendBuffer::SpeakerLinePattern),
         std::u16string(relay::mduSendBuffer::SpeakerNamePattern), u".*b|.+a", u".+\\bx"},
        3000);
}

TEST(Pcre2RegexTest, LongLinesEndWithAnAnswer) {
    Pcre2RegexEngine engine;
    auto re = engine.Compile(relay::mduSendBuffer::SpeakerLinePattern);
    std::u16string digits(4000, u'1');
    EXPECT_FALSE(re->Search(digits + u":").has_value());
    std::u16string colons;
    for (int i = 0; i < 20000; ++i) colons += u"1:";
    EXPECT_FALSE(re->Search(colons).has_value());
    EXPECT_TRUE(re->Search(colons + u"1:1").has_value());
}

}  // namespace
}  // namespace velmora::platform::posix
