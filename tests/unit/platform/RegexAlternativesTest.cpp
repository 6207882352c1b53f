// Splitting a pattern into its top-level alternatives, as both regex backends do it.

#include <gtest/gtest.h>

#include <string>

#include "platform/RegexAlternatives.h"

namespace velmora::platform {
namespace {

// The alternatives must start with 'x'.
bool StartsWithX(std::u16string_view p, bool leadingBracketLiteral) {
    return EveryAlternativeStarts(p, leadingBracketLiteral,
                                  [&](std::size_t i) { return i < p.size() && p[i] == u'x'; });
}

TEST(EveryAlternativeStarts, SplitsOnlyAtTopLevelBarsAndNeedsBalance) {
    struct Case {
        std::u16string pattern;
        bool pcre;
        bool ecma;
    };
    const Case cases[] = {
        {u"xa", true, true},
        {u"ax", false, false},
        {u"xa|xb|xc", true, true},
        {u"xa|b", false, false},
        // An empty last alternative starts with nothing.
        {u"xa|", false, false},
        // A bar inside a group, a class or escaped does not split.
        {u"x(a|b)", true, true},
        {u"x[|]b", true, true},
        {u"x\\|b", true, true},
        {u"x[^|]|xb", true, true},
        // Open, or closed before opened.
        {u"x(a", false, false},
        {u"xa)|xb(", false, false},
        {u"x[ab", false, false},
        // PCRE reads a ']' right after '[' or "[^" as literal; ECMAScript closes the class.
        {u"x[]|]|xb", true, false},
        {u"x[]", false, true},
        {u"x[^]|a]", true, false},
    };
    for (const Case& c : cases) {
        const std::string name(c.pattern.begin(), c.pattern.end());
        EXPECT_EQ(StartsWithX(c.pattern, true), c.pcre) << "PCRE " << name;
        EXPECT_EQ(StartsWithX(c.pattern, false), c.ecma) << "ECMAScript " << name;
    }
}

}  // namespace
}  // namespace velmora::platform
