#include "translate/mduTranBuilder.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/fake/FakePlatform.h"

namespace velmora::translate {
namespace {

using Pieces = std::vector<std::u16string>;

// ASCII one byte, the rest two: the same widths CP936 gives the characters used here.
const platform::fake::FakeCodePage kCodePage;

std::u16string Han(int n) {
    return std::u16string(n, u'汉');
}

int Width(const std::u16string& s) {
    int w = 0;
    for (char16_t c : s) w += kCodePage.AnsiWidth(c);
    return w;
}

struct SegmentCase {
    const char* name;
    SegmentMode mode;
    std::u16string text;
    Pieces expected;
};

class SegmentTextTable : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(SegmentTextTable, SplitsAsExpected) {
    const auto& c = GetParam();
    EXPECT_EQ(SegmentText(c.text, c.mode, kCodePage), c.expected);
    // The table-driven variant must agree with the per-character one.
    AnsiWidthTable table(kCodePage);
    EXPECT_EQ(SegmentText(c.text, c.mode, table), c.expected);
}

const SegmentMode kZh = SegmentMode::Chinese;
const SegmentMode kWest = SegmentMode::Western;

INSTANTIATE_TEST_SUITE_P(
    Segmentation, SegmentTextTable,
    ::testing::Values(
        SegmentCase{"ChineseTwoSentences", kZh, u"你好。在吗？", {u"你好。", u"在吗？"}},
        SegmentCase{"WesternSentenceThenQuestion", kWest, u"Hi. Ok?", {u"Hi.", u" Ok?"}},
        SegmentCase{"WesternDecimalPointEndsPiece", kWest, u"Pi is 3.14", {u"Pi is 3.", u"14"}},
        SegmentCase{"ChinesePointIsOrdinary", kZh, u"Pi is 3.14", {u"Pi is 3.14"}},
        SegmentCase{"WesternChineseStopIsOrdinary", kWest, u"好。好", {u"好。好"}},
        SegmentCase{"LinesEndInCrLf", kWest, u"a\r\nb", {u"a\r\n", u"b"}},
        SegmentCase{"BlankLineDropped", kWest, u"a\r\n\r\nb", {u"a\r\n", u"b"}},
        SegmentCase{
            "BlankLineWithSpacesAndLoneLfDropped", kWest, u"a\r\n \n \r\nb", {u"a\r\n", u"b"}},
        SegmentCase{"OnlyLineEndsAndBlanks", kWest, u"\r\n  \r\n \r\n", {}},
        SegmentCase{"OnlyBlanksWithoutCr", kWest, u"   ", {u"   "}},
        SegmentCase{"TabLineIsNotBlank", kWest, u"\t\r\n", {u"\t\r\n"}},
        SegmentCase{"TerminatorAlone", kZh, u"。", {u"。"}},
        SegmentCase{"WesternPointAloneInChineseMode", kZh, u".", {u"."}},
        SegmentCase{"Empty", kZh, u"", {}},
        // A lone CR still ends its line but keeps the character after it.
        SegmentCase{"LoneCrKeepsNextCharacter", kWest, u"a\rb", {u"a\r\n", u"b"}},
        SegmentCase{"LoneCrBeforeCrLf", kWest, u"a\r\r\nb", {u"a\r\n", u"b"}},
        SegmentCase{"CrAtEnd", kWest, u"abc\r", {u"abc\r\n"}},
        SegmentCase{"LoneLfIsOrdinary", kWest, u"a\nb", {u"a\nb"}},
        SegmentCase{"ClauseBreaksDoNotEndShortPieces",
                    kZh,
                    u"你好，朋友；a,b;c、d?e？",
                    {u"你好，朋友；a,b;c、d?e？"}},
        SegmentCase{"AtMost498BytesIsOnePiece", kZh, Han(249), {Han(249)}},
        // 602 bytes: the cut falls after the last clause break before the limit.
        SegmentCase{"CutAfterLastClauseBreak",
                    kZh,
                    Han(200) + u"，" + Han(100),
                    {Han(200) + u"，", Han(100)}},
        // A clause break that would reach 499 goes to the next piece, after the cut.
        SegmentCase{"ClauseBreakAtLimit",
                    kZh,
                    Han(100) + u"，" + Han(148) + u"，ab",
                    {Han(100) + u"，", Han(148) + u"，ab"}},
        SegmentCase{"TerminatorAtLimit",
                    kZh,
                    Han(100) + u"，" + Han(148) + u"。",
                    {Han(100) + u"，", Han(148) + u"。"}},
        // One clause too long for a piece: no empty piece, then 249 + 51 characters.
        SegmentCase{"LongClauseWithoutBreak", kZh, Han(300), {Han(249), Han(51)}},
        SegmentCase{"LongAsciiClause",
                    kWest,
                    std::u16string(600, u'a'),
                    {std::u16string(498, u'a'), std::u16string(102, u'a')}},
        // The cut happens before the CR is looked at; the line's rest then ends in CR LF.
        SegmentCase{"CutJustBeforeCr",
                    kZh,
                    Han(100) + u"，" + Han(148) + u"\r\nx",
                    {Han(100) + u"，", Han(148) + u"\r\n", u"x"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsBlankText, OnlyCrLfAndSpaceAreBlank) {
    struct Case {
        std::u16string text;
        bool blank;
    } cases[] = {{u"", true},        {u" \r\n ", true}, {u"\r", true},    {u"\t", false},
                 {u"\u3000", false}, {u" a ", false},   {u"\r\n.", false}};
    for (const auto& c : cases) EXPECT_EQ(IsBlankText(c.text), c.blank) << c.text.size();
}

// A literal rendering of the scan with explicit committed and open texts whose widths are
// measured afresh, to check the index-based implementation against on random input.
Pieces ReferenceSegment(const std::u16string& text, SegmentMode mode) {
    const char16_t terminator = mode == kZh ? u'。' : u'.';
    const std::u16string breaks = u",，；;、？?";
    Pieces out;
    std::u16string committed, open;
    auto emit = [&](const std::u16string& p) {
        if (!p.empty()) out.push_back(p);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (Width(committed + open) + kCodePage.AnsiWidth(c) >= 499) {
            emit(committed);
            committed = open;
            open.clear();
        }
        if (c == u'\r') {
            if (!IsBlankText(committed + open)) out.push_back(committed + open + u"\r\n");
            committed.clear();
            open.clear();
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else if (c == terminator) {
            out.push_back(committed + open + c);
            committed.clear();
            open.clear();
        } else if (breaks.find(c) != std::u16string::npos) {
            committed += open + c;
            open.clear();
        } else {
            open += c;
        }
    }
    emit(committed + open);
    return out;
}

TEST(SegmentText, RandomTextsMatchTheLiteralScanAndStayWithinTheLimit) {
    const std::u16string alphabet = u"汉字abc ，,；;、？?。.\r\n!";
    std::mt19937 rng(20090923);
    for (int round = 0; round < 150; ++round) {
        std::u16string text;
        const int len = std::uniform_int_distribution<int>(0, 1500)(rng);
        // Long runs without breaks too, so cuts with and without a committed part both occur.
        const int breakOdds = std::uniform_int_distribution<int>(1, 200)(rng);
        for (int i = 0; i < len; ++i) {
            bool plain = std::uniform_int_distribution<int>(0, breakOdds)(rng) != 0;
            text += plain ? alphabet[std::uniform_int_distribution<int>(0, 3)(rng)]
                          : alphabet[std::uniform_int_distribution<int>(
                                0, static_cast<int>(alphabet.size()) - 1)(rng)];
        }
        for (SegmentMode mode : {kZh, kWest}) {
            Pieces pieces = SegmentText(text, mode, kCodePage);
            for (const auto& p : pieces) {
                std::u16string body = p;
                if (body.ends_with(u"\r\n")) body.resize(body.size() - 2);
                ASSERT_LE(Width(body), 500) << "round " << round;
            }
            ASSERT_EQ(pieces, ReferenceSegment(text, mode)) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace velmora::translate
