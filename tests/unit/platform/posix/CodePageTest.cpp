#include <gtest/gtest.h>

#include <random>

#include "platform/Utf8.h"
#include "platform/posix/IconvCodePage.h"
#include "translate/mduTranBuilder.h"

namespace velmora::platform::posix {
namespace {

TEST(IconvCodePage, Cp936Widths) {
    IconvCodePage cp;
    struct Case {
        char16_t c;
        int width;
    } cases[] = {
        {u'a', 1},
        {u'\r', 1},
        {u'~', 1},
        {u'中', 2},
        {u'，', 2},
        {u'。', 2},
        {u'？', 2},
        {u'、', 2},
        {u'\u3000', 2},
        {u'ａ', 2},
        {u'й', 2},
        {u'α', 2},
        {u'\u0E01', 1} /* Thai: not in CP936 */,
        {u'\xD800', 1},
        {u'\xDC00', 1},
        {u'\uFFFD', 1},
    };
    for (const auto& c : cases) EXPECT_EQ(cp.AnsiWidth(c.c), c.width) << std::hex << int(c.c);
}

TEST(IconvCodePage, AnsiConversions) {
    IconvCodePage cp;
    EXPECT_EQ(cp.ToAnsi(u"中文abc"),
              "\xD6\xD0\xCE\xC4"
              "abc");
    EXPECT_EQ(cp.ToAnsi(u"a\u0E01b\U0001F600c"), "a?b?c");
    EXPECT_EQ(cp.ToAnsi(u""), "");
    EXPECT_EQ(cp.FromAnsi("\xD6\xD0\xCE\xC4"
                          "abc"),
              u"中文abc");
    EXPECT_EQ(cp.FromAnsi("a\xFF"), u"a\uFFFD");
    EXPECT_EQ(cp.FromAnsi("a\xD6"), u"a\uFFFD");  // lead byte cut off at the end
}

TEST(Utf8Decode, MalformedInputBecomesReplacementCharacters) {
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"ascii", "abc", u"abc"},
        {"han", "\xE4\xBD\xA0\xE5\xA5\xBD", u"你好"},
        {"astral", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"bad continuation", "\xC3\x28", u"\uFFFD("},
        {"truncated at end", "a\xE4\xBD", u"a\uFFFD"},
        {"truncated before ascii",
         "\xF0\x9F\x98"
         "A",
         u"\uFFFDA"},
        {"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"invalid bytes", "\xFF\xFE", u"\uFFFD\uFFFD"},
        {"lone continuation",
         "\x80"
         "a",
         u"\uFFFDa"},
        {"nul kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8Decode(c.bytes), c.text) << c.name;
}

TEST(Utf8Encode, UnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8Encode(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8Encode(std::u16string(u"\xD800"
                                        "a")),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(Utf8Encode(std::u16string(1, u'\xDC00')), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8Encode(std::u16string(1, u'\xD83D')), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8Encode(u"é中"), "\xC3\xA9\xE4\xB8\xAD");
}

TEST(Utf8, WellFormedTextSurvivesTheRoundTrip) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::u16string text;
        for (int i = 0; i < 64; ++i) {
            char32_t c = std::uniform_int_distribution<char32_t>(0, 0x10FFFF)(rng);
            if (c >= 0xD800 && c < 0xE000) continue;
            if (c >= 0x10000) {
                text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                text += static_cast<char16_t>(c);
            }
        }
        ASSERT_EQ(Utf8Decode(Utf8Encode(text)), text);
    }
}

TEST(SegmentTextCp936, TheCutFallsAfterTheClauseBreak) {
    IconvCodePage cp;
    translate::AnsiWidthTable widths(cp);
    const std::u16string text = std::u16string(200, u'汉') + u"，" + std::u16string(100, u'汉');
    auto pieces = translate::SegmentText(text, translate::SegmentMode::Chinese, widths);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(cp.ToAnsi(pieces[0]).size(), 402u);
    EXPECT_EQ(cp.ToAnsi(pieces[1]).size(), 200u);
    // Two Han characters and three ASCII letters are seven bytes.
    EXPECT_EQ(cp.ToAnsi(u"汉字abc").size(), 7u);
    EXPECT_EQ(widths[u'汉'] + widths[u'字'] + 3, 7);
}

}  // namespace
}  // namespace velmora::platform::posix
