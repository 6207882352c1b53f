#pragma once

#include <string>
#include <vector>

// Cases every ICodePage backend must agree on, for CP936 (GBK) as the ANSI code page.
namespace velmora::codepage_cases {

struct WidthCase {
    char16_t c;
    int width;
};

inline std::vector<WidthCase> Cp936Widths() {
    return {
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
}

struct AnsiCase {
    std::u16string text;
    std::string bytes;
};

// Text to CP936 bytes: one '?' per character the page lacks (a surrogate pair is one).
inline std::vector<AnsiCase> Cp936Encodings() {
    return {
        {u"中文abc",
         "\xD6\xD0\xCE\xC4"
         "abc"},
        {u"a\u0E01b\U0001F600c", "a?b?c"},
        {std::u16string{u'a', char16_t(0xD800), u'b'}, "a?b"},
        {u"", ""},
    };
}

// CP936 bytes to text: each byte that starts no valid character becomes U+FFFD.
inline std::vector<AnsiCase> Cp936Decodings() {
    return {
        {u"中文abc",
         "\xD6\xD0\xCE\xC4"
         "abc"},
        {u"a\uFFFD", "a\xFF"},
        {u"a\uFFFD", "a\xD6"},    // lead byte cut off at the end
        {u"\uFFFD b", "\xD6 b"},  // lead byte without a trail byte
        {u"", ""},
    };
}

struct Utf8Case {
    const char* name;
    std::string bytes;
    std::u16string text;
};

// UTF-8 decoding never fails: each maximal ill-formed subpart becomes one U+FFFD.
inline std::vector<Utf8Case> Utf8Decodings() {
    return {
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
}

}  // namespace velmora::codepage_cases
