#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/IRegex.h"

// Cases every IRegexEngine backend must agree on: case-sensitive, unanchored, over UTF-16 code
// units, '.' excludes only LF, classes stay within ASCII.
namespace velmora::regex_cases {

struct SearchCase {
    std::u16string pattern;
    std::u16string text;
    std::optional<std::pair<std::size_t, std::size_t>> match;  // position, length
};

inline std::vector<SearchCase> SearchCases() {
    return {
        {u"a.c", u"xa\rc", std::pair{1u, 3u}},  // '.' takes CR
        {u"a.c", u"a\nc", std::nullopt},        // but not LF
        {u"a.c", u"a\u2028c", std::pair{0u, 3u}},
        {u"a.c", u"a\u2029c", std::pair{0u, 3u}},
        {u"a[.]c", u"abc a.c", std::pair{4u, 3u}},  // a dot in a class is a dot
        {u"a\\.c", u"abc a.c", std::pair{4u, 3u}},
        {u"a(?!.)", u"ba\nb", std::pair{1u, 1u}},  // end of line is before an LF
        {u"a$", u"ba\n", std::pair{1u, 1u}},       // '$' also before a final LF
        {u"a$", u"ba\n\n", std::nullopt},
        {u"^a", u"ba", std::nullopt},
        {u"\\d+", u"\u0661\u0662 42", std::pair{3u, 2u}},  // ASCII digits only
        {u"\\D", u"\u0661", std::pair{0u, 1u}},
        {u"\\w+", u"\u4E2D\u00E9ab_9", std::pair{2u, 4u}},  // ASCII word characters only
        {u"\\bx", u"\u00E9x", std::pair{1u, 1u}},           // so a boundary before the x
        {u"a\\sb", u"a\vb", std::pair{0u, 3u}},
        {u"a\\sb", u"a\fb", std::pair{0u, 3u}},
        {u"a\\sb", u"a\u00A0b", std::nullopt},
        {u"a\\sb", u"a\u3000b", std::nullopt},
        {u"说", u"他说:", std::pair{1u, 1u}},
        {u"ab|a", u"xab", std::pair{1u, 2u}},  // alternatives in written order
        {u"Ab", u"ab", std::nullopt},          // case-sensitive
        {u"a+?", u"aaa", std::pair{0u, 1u}},
        {u"(?=b)", u"ab", std::pair{1u, 0u}},
        // Surrogate halves are plain code units, paired or not.
        {u"." + std::u16string(1, char16_t(0xDC00)),
         std::u16string{char16_t(0xD800), char16_t(0xDC00)}, std::pair{0u, 2u}},
        {u"a.b", std::u16string{u'a', char16_t(0xDC00), u'b'}, std::pair{0u, 3u}},
        {u"x*", u"", std::pair{0u, 0u}},
        {u"a", std::u16string(u"\0a", 2), std::pair{1u, 1u}},  // a NUL is a code unit too
    };
}

// Patterns every backend rejects with RegexError.
inline std::vector<std::u16string> BadPatterns() {
    return {u"(ab", u"a{2,1}", u"[b-a]", u"a)", u"*a"};
}

// Every search case and every bad pattern, against one backend.
inline void ExpectCommonSemantics(platform::IRegexEngine& engine) {
    for (const auto& c : SearchCases()) {
        SCOPED_TRACE(std::string(c.pattern.begin(), c.pattern.end()));
        auto re = engine.Compile(c.pattern);
        auto m = re->Search(c.text);
        ASSERT_EQ(m.has_value(), c.match.has_value());
        if (m) {
            EXPECT_EQ(m->position, c.match->first);
            EXPECT_EQ(m->length, c.match->second);
        }
    }
    for (const auto& p : BadPatterns())
        EXPECT_THROW(engine.Compile(p), platform::RegexError) << std::string(p.begin(), p.end());
}

// A backend's line-start shortcut must give exactly what a plain unanchored search gives, on
// random lines near the speaker-line shape. A leading empty group switches the shortcut off
// without changing the pattern's meaning.
inline void ExpectShortcutAgreesWithPlainSearch(platform::IRegexEngine& engine,
                                                const std::vector<std::u16string>& patterns,
                                                int linesPerPattern) {
    const std::u16string alphabet = u"0123456789:  ()-APMampsaidyx说\r\n\tab";
    std::mt19937 rng(12345);
    for (const auto& p : patterns) {
        SCOPED_TRACE(std::string(p.begin(), p.end()));
        auto fast = engine.Compile(p);
        auto plain = engine.Compile(u"(?:)" + p);
        for (int i = 0; i < linesPerPattern; ++i) {
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

}  // namespace velmora::regex_cases
