#include "platform/posix/Pcre2Regex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "relay/mduSendBuffer.h"
#include "support/RegexCases.h"

namespace velmora::platform::posix {
namespace {

TEST(Pcre2RegexTest, CodeUnitEcmaStyleSemantics) {
    Pcre2RegexEngine engine;
    for (const auto& c : regex_cases::SearchCases()) {
        SCOPED_TRACE(std::string(c.pattern.begin(), c.pattern.end()));
        auto re = engine.Compile(c.pattern);
        auto m = re->Search(c.text);
        ASSERT_EQ(m.has_value(), c.match.has_value());
        if (m) {
            EXPECT_EQ(m->position, c.match->first);
            EXPECT_EQ(m->length, c.match->second);
        }
    }
}

TEST(Pcre2RegexTest, BadPatternThrows) {
    Pcre2RegexEngine engine;
    for (const auto& p : regex_cases::BadPatterns())
        EXPECT_THROW(engine.Compile(p), RegexError) << std::string(p.begin(), p.end());
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

// The line-start shortcut must give exactly what a plain unanchored search gives. A leading
// empty group switches the shortcut off without changing the pattern's meaning.
TEST(Pcre2RegexTest, LineStartShortcutAgreesWithPlainSearch) {
    Pcre2RegexEngine engine;
    const std::u16string patterns[] = {
        std::u16string(relay::mduSendBuffer::SpeakerLinePattern),
        std::u16string(relay::mduSendBuffer::SpeakerNamePattern),
        u".*b|.+a",
    };
    const std::u16string alphabet = u"0123456789:  ()-APMampsaidy说\r\n\tab";
    std::mt19937 rng(12345);
    for (const auto& p : patterns) {
        auto fast = engine.Compile(p);
        auto plain = engine.Compile(u"(?:)" + p);
        for (int i = 0; i < 3000; ++i) {
            std::u16string text;
            int n = static_cast<int>(rng() % 30);
            for (int k = 0; k < n; ++k) text.push_back(alphabet[rng() % alphabet.size()]);
            if (i % 3 == 0) text += u" 12:34:56";
            if (i % 5 == 0) text += u"(2009-09-23 1:2:3):";
            auto a = fast->Search(text);
            auto b = plain->Search(text);
            ASSERT_EQ(a.has_value(), b.has_value()) << i;
            if (a) {
                ASSERT_EQ(a->position, b->position) << i;
                ASSERT_EQ(a->length, b->length) << i;
            }
        }
    }
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
