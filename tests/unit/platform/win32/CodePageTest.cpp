#include "platform/win32/Win32CodePage.h"

#include <gtest/gtest.h>

#include "platform/Utf8.h"
#include "support/CodePageCases.h"

namespace velmora::platform::win32 {
namespace {

TEST(Win32CodePage, Cp936Widths) {
    Win32CodePage cp(936);
    for (const auto& c : codepage_cases::Cp936Widths())
        EXPECT_EQ(cp.AnsiWidth(c.c), c.width) << std::hex << int(c.c);
    // Every ASCII character is one byte, every common Han character two.
    for (char16_t c = 0; c < 0x80; ++c) ASSERT_EQ(cp.AnsiWidth(c), 1) << int(c);
    for (char16_t c = 0x4E00; c < 0x9FA6; ++c) ASSERT_EQ(cp.AnsiWidth(c), 2) << std::hex << int(c);
}

TEST(Win32CodePage, Cp936Conversions) {
    Win32CodePage cp(936);
    for (const auto& c : codepage_cases::Cp936Encodings())
        EXPECT_EQ(cp.ToAnsi(c.text), c.bytes) << Utf8Encode(c.text);
    for (const auto& c : codepage_cases::Cp936Decodings())
        EXPECT_EQ(cp.FromAnsi(c.bytes), c.text) << Utf8Encode(c.text);
}

TEST(Win32CodePage, WidthsAreTheBytesToAnsiWrites) {
    Win32CodePage cp(936);
    for (char32_t c = 0x80; c < 0x10000; c += 7) {
        if (c >= 0xD800 && c < 0xE000) continue;
        const std::u16string one(1, static_cast<char16_t>(c));
        ASSERT_EQ(static_cast<int>(cp.ToAnsi(one).size()), cp.AnsiWidth(one[0]))
            << std::hex << int(c);
    }
}

TEST(Win32CodePage, Utf8NeverFails) {
    Win32CodePage cp(936);
    for (const auto& c : codepage_cases::Utf8Decodings())
        EXPECT_EQ(cp.FromUtf8(c.bytes), c.text) << c.name;
    EXPECT_EQ(cp.ToUtf8(std::u16string{u'a', char16_t(0xD800)}), "a\xEF\xBF\xBD");
    EXPECT_EQ(cp.ToUtf8(u"中\U0001F600"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
}

TEST(Win32CodePage, SystemPageIsTheDefault) {
    Win32CodePage cp;
    EXPECT_EQ(cp.codePage(), GetACP());
    EXPECT_EQ(cp.FromAnsi(cp.ToAnsi(u"Plain ASCII 123")), u"Plain ASCII 123");
    EXPECT_EQ(cp.AnsiWidth(u'A'), 1);
}

TEST(Win32CodePage, LongTextTakesTheSlowPathOnlyWhereNeeded) {
    Win32CodePage cp(936);
    std::u16string text;
    std::string bytes;
    for (int i = 0; i < 5000; ++i) {
        text += u"中a\u0E01";
        bytes +=
            "\xD6\xD0"
            "a?";
    }
    EXPECT_EQ(cp.ToAnsi(text), bytes);
    std::string bad = bytes + "\xFF";
    std::u16string back = cp.FromAnsi(bad);
    ASSERT_EQ(back.size(), 15001u);
    EXPECT_EQ(back.substr(0, 3), u"中a?");
    EXPECT_EQ(back.back(), u'\uFFFD');
}

}  // namespace
}  // namespace velmora::platform::win32
