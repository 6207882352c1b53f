#include <gtest/gtest.h>

#include <random>

#include "platform/Utf8.h"
#include "platform/posix/IconvCodePage.h"
#include "support/CodePageCases.h"
#include "translate/mduTranBuilder.h"

namespace velmora::platform::posix {
namespace {

TEST(IconvCodePage, Cp936Widths) {
    IconvCodePage cp;
    for (const auto& c : codepage_cases::Cp936Widths())
        EXPECT_EQ(cp.AnsiWidth(c.c), c.width) << std::hex << int(c.c);
}

TEST(IconvCodePage, AnsiConversions) {
    IconvCodePage cp;
    for (const auto& c : codepage_cases::Cp936Encodings())
        EXPECT_EQ(cp.ToAnsi(c.text), c.bytes) << Utf8Encode(c.text);
    for (const auto& c : codepage_cases::Cp936Decodings())
        EXPECT_EQ(cp.FromAnsi(c.bytes), c.text) << Utf8Encode(c.text);
}

TEST(Utf8Decode, MalformedInputBecomesReplacementCharacters) {
    IconvCodePage cp;
    for (const auto& c : codepage_cases::Utf8Decodings()) {
        EXPECT_EQ(Utf8Decode(c.bytes), c.text) << c.name;
        EXPECT_EQ(cp.FromUtf8(c.bytes), c.text) << c.name;
    }
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
