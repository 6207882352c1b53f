#include <gtest/gtest.h>

#include "update/mduAutoUpdate.h"

using velmora::update::mduAutoUpdate::ExtractBetween;

TEST(ExtractBetween, WalksTwoElementsThenStopsWithRestUntouched) {
    std::u16string rest = u"unchanged";
    const std::u16string text = u"<a>one</a><a>two</a>";
    EXPECT_EQ(ExtractBetween(text, u"<a>", u"</a>", rest), u"one");
    EXPECT_EQ(rest, u"<a>two</a>");
    std::u16string remaining = rest;
    EXPECT_EQ(ExtractBetween(remaining, u"<a>", u"</a>", remaining), u"two");
    EXPECT_EQ(remaining, u"");
    remaining = u"left";
    EXPECT_EQ(ExtractBetween(u"", u"<a>", u"</a>", remaining), u"");
    EXPECT_EQ(remaining, u"left");
}

TEST(ExtractBetween, Table) {
    struct Case {
        std::u16string text;
        std::u16string expected;
        std::u16string expectedRest;  // "(same)" when rest must stay as it was
    };
    const Case cases[] = {
        {u"xx<version>20090924</version>yy", u"20090924", u"yy"},
        {u"<version></version>tail", u"", u"tail"},      // touching markers: empty, rest set
        {u"<version>20090924", u"", u"(same)"},          // no close marker
        {u"20090924</version>", u"", u"(same)"},         // no open marker
        {u"</version><version>7</version>", u"7", u""},  // close before open is skipped
        {u"<VERSION>1</VERSION>", u"", u"(same)"},       // case-sensitive
        {u"<version>1<version>2</version>", u"1<version>2", u""},
        {u"<version>数字</version>后", u"数字", u"后"},
    };
    for (const auto& c : cases) {
        std::u16string rest = u"(same)";
        EXPECT_EQ(ExtractBetween(c.text, u"<version>", u"</version>", rest), c.expected);
        EXPECT_EQ(rest, c.expectedRest);
    }
}

TEST(ExtractBetween, CloseMarkerOverlappingOpenMarkerIsSearchedAfterIt) {
    std::u16string rest;
    // The close marker is looked for only after the whole open marker.
    EXPECT_EQ(ExtractBetween(u"abcab", u"ab", u"ab", rest), u"c");
    EXPECT_EQ(rest, u"");
    rest = u"r";
    EXPECT_EQ(ExtractBetween(u"aba", u"ab", u"ba", rest), u"");
    EXPECT_EQ(rest, u"r");
}
