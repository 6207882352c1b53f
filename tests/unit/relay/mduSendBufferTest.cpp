#include "relay/mduSendBuffer.h"

#include <gtest/gtest.h>

#include "RelayTestSupport.h"
#include "relay/fake/RecordingResultBox.h"
#include "support/NativeBackends.h"

namespace velmora::relay {
namespace {

using testing::FakeTranslate;
using BoxRun = fake::RecordingResultBox::Run;

class SendBufferTest : public ::testing::Test {
  protected:
    native::RegexEngine regex;
    FakeTranslate translate;
    mduSendBuffer buffer{regex, translate};
    fake::RecordingResultBox box;
};

struct SpeakerCase {
    std::u16string line;
    bool speaker;
    std::u16string name;
};

TEST_F(SendBufferTest, SpeakerLinesAndNames) {
    const SpeakerCase cases[] = {
        {u"Ann 12:34:56", true, u"Ann 1"},  // greedy name part keeps the first hour digit
        {u"Ann 9:34:56", true, u"Ann"},
        {u"Ann  09:05:07", true, u"Ann  0"},
        {u"Ann (12:34 PM):", true, u"Ann"},
        {u"Ann (9:05 am):", true, u"Ann"},
        {u"Ann(2009-09-23 12:34:56):", true, u"Ann"},
        {u"Ann said:", true, u"Ann"},
        {u"Ann say:", true, u""},  // passes the line pattern, the name pattern has no "say"
        {u"Ann 12:34", false, u""},
        {u"Ann 12:34:56 ", false, u""},
        {u"Ann 说\uFF1A", false, u""},  // full-width colon
        {u"Ann says: hi", false, u""},
        {u"hello", false, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Narrow(c.line));
        EXPECT_EQ(buffer.IsSpeakerLine(c.line), c.speaker);
        if (c.speaker) {
            EXPECT_EQ(buffer.ExtractSpeakerName(c.line, true), c.name);
        }
    }
}

TEST_F(SendBufferTest, MoreSpeakerForms) {
    const SpeakerCase cases[] = {
        {u"Ann 说:", true, u"Ann"},
        {u"  Bob (10:00 AM)  :", true, u"Bob"},
        {u"Ann\t12:34:56", true, u"Ann\t1"},  // a tab is no space to trim
        {u"12:34:56", true, u"1"},
        {u"Ann 12:34:56\r", false, u""},          // a lone CR is part of the line
        {u"Ann\n12:34:56", true, u"1"},           // '.' stops at LF, the search goes on after it
        {u"Ann (12:34\vPM):", true, u"Ann"},      // \s takes vertical tab
        {u"Ann \uFF11\uFF12:34:56", false, u""},  // full-width digits are no \d
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Narrow(c.line));
        EXPECT_EQ(buffer.IsSpeakerLine(c.line), c.speaker);
        if (c.speaker) {
            EXPECT_EQ(buffer.ExtractSpeakerName(c.line, true), c.name);
        }
    }
    EXPECT_EQ(buffer.ExtractSpeakerName(u" Ann 9:34:56", false), u" Ann ");
    EXPECT_EQ(buffer.ExtractSpeakerName(u"no time here", true), u"");
}

TEST_F(SendBufferTest, RegexTestCompilesEachPatternOnce) {
    platform::fake::FakeRegexEngine counting;
    mduSendBuffer b(counting, translate);
    EXPECT_EQ(counting.compiled, 2);
    EXPECT_TRUE(b.RegexTest(u"xabcx", u"abc"));
    EXPECT_FALSE(b.RegexTest(u"xabx", u"abc"));
    EXPECT_EQ(counting.compiled, 3);
    b.IsSpeakerLine(u"Ann 9:00:00");
    b.ExtractSpeakerName(u"Ann 9:00:00", true);
    b.RegexTest(u"x", mduSendBuffer::SpeakerLinePattern);
    EXPECT_EQ(counting.compiled, 3);
}

TEST(TrimTest, OnlySpaces) {
    EXPECT_EQ(LeftTrimSpaces(u"  a b  "), u"a b  ");
    EXPECT_EQ(TrimSpaces(u"  a b  "), u"a b");
    EXPECT_EQ(TrimSpaces(u"\t a \t"), u"\t a \t");
    EXPECT_EQ(TrimSpaces(u"   "), u"");
    EXPECT_EQ(LeftTrimSpaces(u"\u3000x"), u"\u3000x");
}

struct LearnCase {
    const char* what;
    std::vector<std::u16string> sent;
    std::u16string history;
    std::u16string learned;
};

TEST_F(SendBufferTest, LearnsOwnSpeakerName) {
    const LearnCase cases[] = {
        {"indented under the first line", {u"hello"}, u"\r\nMe 10:00:00\r\n  hello", u"Me 1"},
        {"indented further down",
         {u"hello"},
         u"\r\nOther 9:59:00\r\nhey\r\nMe 10:00:00\r\n  hello",
         u"Me 1"},
        {"not indented: the line above is examined",
         {u"hello"},
         u"\r\nOther 9:59:00\r\nhey\r\nMe 10:00:00\r\nhello",
         u""},
        {"first found text that leads nowhere, second one does",
         {u"nothere", u"hey", u"hello"},
         u"\r\nOther 9:59:00\r\nhey\r\nMe 10:00:00\r\n  hello",
         u"Me 1"},
        {"text at the very start", {u"hello"}, u"hello\r\nMe 10:00:00", u""},
        {"empty sent text counts as found at the start", {u""}, u"\r\nMe 10:00:00\r\n  x", u""},
        {"the name comes out empty for say:", {u"hi"}, u"\r\nMe say:\r\n  hi", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        mduSendBuffer b(regex, translate);
        for (const auto& s : c.sent) b.BufferSentText(s);
        b.LearnOwnSpeakerName(c.history);
        EXPECT_EQ(b.OwnSpeakerName(), c.learned);
    }
}

TEST_F(SendBufferTest, BufferIsDroppedAfterEachProcessingAndUnusedOnceLearned) {
    buffer.BufferSentText(u"hello");
    testing::ShowHistory(buffer, u"\r\nMe 10:00:00\r\nhello\r\n", "en", "en", box);
    EXPECT_EQ(buffer.OwnSpeakerName(), u"");
    EXPECT_TRUE(buffer.SentTexts().empty());

    buffer.BufferSentText(u"again");
    EXPECT_EQ(buffer.SentTexts().size(), 1u);
    testing::ShowHistory(buffer, u"\r\nMe 10:00:05\r\n  again\r\n", "en", "en", box);
    EXPECT_EQ(buffer.OwnSpeakerName(), u"Me 1");
    EXPECT_TRUE(buffer.SentTexts().empty());

    buffer.BufferSentText(u"later");
    EXPECT_TRUE(buffer.SentTexts().empty());
    // The name never changes once learned.
    testing::ShowHistory(buffer, u"\r\nYou 11:00:00\r\n  later\r\n", "en", "en", box);
    EXPECT_EQ(buffer.OwnSpeakerName(), u"Me 1");
}

// Teaches the buffer "Me 1" as the own speaker name.
void LearnMe(mduSendBuffer& b, fake::RecordingResultBox& box) {
    b.BufferSentText(u"hello");
    testing::ShowHistory(b, u"\r\nMe 10:00:00\r\n  hello\r\n", "en", "en", box);
    ASSERT_EQ(b.OwnSpeakerName(), u"Me 1");
    box.runs.clear();
}

TEST_F(SendBufferTest, ProcessingExampleInsertsExactFormattedRuns) {
    LearnMe(buffer, box);
    ASSERT_FALSE(buffer.InIncomingMessage());
    testing::ShowHistory(
        buffer,
        u"\r\nOther 10:00:01\r\nhi there\r\nsecond line\r\nMe 10:00:05\r\nmy reply\r\n"
        u"Other 10:00:09\r\nlast",
        "en", "zh-CN", box);
    const std::vector<BoxRun> expected = {
        {u"\r\n", kBlack, false, false},  // the line break, in the format left by LearnMe
        {u"Other 10:00:01\r\n", kMagenta, true, false},
        {u"hi there\r\nsecond line", kBlue, false, false},
        {u"(译文：[zh-CN]hi there\r\nsecond line)\r\n", kRed, false, true},
        {u"Other 10:00:09\r\n", kMagenta, true, true},
        {u"last", kBlue, false, true},
        {u"(译文：[zh-CN]last)\r\n", kRed, false, true},
    };
    EXPECT_EQ(box.runs, expected);
    ASSERT_EQ(translate.calls.size(), 2u);
    EXPECT_EQ(translate.calls[0].text, u"hi there\r\nsecond line");
    EXPECT_EQ(translate.calls[0].source, "en");
    EXPECT_EQ(translate.calls[0].target, "zh-CN");
    EXPECT_EQ(translate.calls[1].text, u"last");
    EXPECT_TRUE(buffer.InIncomingMessage());
    EXPECT_TRUE(box.italic());  // left on for whatever comes next
}

TEST_F(SendBufferTest, EachTranslationRunsAsideOnceItsOriginalIsShown) {
    platform::fake::FakePlatform fp;
    std::vector<std::u16string> shownAtTranslation;
    translate.onTranslate = [&] { shownAtTranslation.push_back(box.Text()); };
    platform::Task<> job = buffer.ProcessNewHistory(
        fp.loop, u"Ann 9:00:00\r\nhi\r\nBo 9:00:01\r\nyo\r\n", "en", "zh-CN", box);
    job.Start([](std::exception_ptr) {});
    // Back on the loop with the first original shown, its translation not yet asked for.
    EXPECT_EQ(box.Text(), u"\r\nAnn 9:00:00\r\nhi");
    EXPECT_TRUE(translate.calls.empty());
    ASSERT_TRUE(fp.loop.Run());
    EXPECT_TRUE(job.Done());
    const std::u16string first = u"\r\nAnn 9:00:00\r\nhi";
    const std::u16string second = first + u"(译文：[zh-CN]hi)\r\nBo 9:00:01\r\nyo";
    EXPECT_EQ(shownAtTranslation, (std::vector<std::u16string>{first, second}));
    EXPECT_EQ(box.Text(), second + u"(译文：[zh-CN]yo)\r\n");
}

TEST_F(SendBufferTest, EqualLanguagesInsertWithoutTranslation) {
    LearnMe(buffer, box);
    testing::ShowHistory(buffer, u"Other 10:00:01\r\nhi\r\n\r\nthere\r\nrest", "en", "en", box);
    const std::vector<BoxRun> expected = {
        {u"\r\n", kBlack, false, false},
        {u"Other 10:00:01\r\n", kMagenta, true, false},
        // An empty line inside a message is kept; the rest goes out on its own.
        {u"hi\r\n\r\nthere\r\nrest\r\n", kBlue, false, false},
    };
    EXPECT_EQ(box.runs, expected);
    EXPECT_TRUE(translate.calls.empty());
}

TEST_F(SendBufferTest, MessageStateCarriesOverBetweenCalls) {
    LearnMe(buffer, box);
    testing::ShowHistory(buffer, u"Other 10:00:01\r\nfirst\r\n", "en", "en", box);
    EXPECT_TRUE(buffer.InIncomingMessage());
    box.runs.clear();
    // Body lines before any speaker line continue the message that ended the last call.
    testing::ShowHistory(buffer, u"  more\r\nMe 10:00:02\r\nmine\r\n", "en", "en", box);
    EXPECT_EQ(box.Text(), u"\r\nmore\r\n");
    EXPECT_FALSE(buffer.InIncomingMessage());
    box.runs.clear();
    testing::ShowHistory(buffer, u"orphan\r\n", "en", "en", box);
    EXPECT_EQ(box.Text(), u"\r\n");
}

TEST_F(SendBufferTest, OwnLineBetweenIncomingMessagesDoesNotFlush) {
    LearnMe(buffer, box);
    testing::ShowHistory(buffer,
                         u"Ann 9:00:00\r\na1\r\nMe 10:00:00\r\nmine\r\nAnn 9:00:01\r\na2\r\n", "en",
                         "en", box);
    EXPECT_EQ(box.Text(), u"\r\nAnn 9:00:00\r\na1\r\nAnn 9:00:01\r\na2\r\n");
}

TEST_F(SendBufferTest, RestIsShownUntrimmedEvenWhenOwn) {
    LearnMe(buffer, box);
    testing::ShowHistory(buffer, u"Me 10:00:00\r\n  my unfinished line", "en", "en", box);
    EXPECT_EQ(box.Text(), u"\r\n  my unfinished line\r\n");
    box.runs.clear();
    testing::ShowHistory(buffer, u"Ann 9:00:00\r\n", "en", "en", box);
    EXPECT_EQ(box.Text(), u"\r\nAnn 9:00:00\r\n");  // nothing flushed for an empty rest
}

TEST_F(SendBufferTest, BeforeLearningEveryNamedSpeakerIsIncomingAndEmptyNamesAreOwn) {
    testing::ShowHistory(buffer, u"Me 10:00:00\r\nmine\r\nAnn say:\r\nhidden\r\n", "en", "en", box);
    // "say:" yields the empty name, which equals the still empty own name.
    EXPECT_EQ(box.Text(), u"\r\nMe 10:00:00\r\nmine\r\n");
    EXPECT_FALSE(buffer.InIncomingMessage());
}

TEST_F(SendBufferTest, FailedTranslationLeavesEmptyParentheses) {
    translate.fixed = u"";
    testing::ShowHistory(buffer, u"Ann 9:00:00\r\nhi\r\n", "en", "zh-CN", box);
    EXPECT_EQ(box.runs.back(), (BoxRun{u"(译文：)\r\n", kRed, false, true}));
}

TEST_F(SendBufferTest, ALoneCrStaysInsideALineWhileLfAndLineSeparatorEndIt) {
    testing::ShowHistory(buffer, u"Ann 9:00:00\r\na\rb\nc\u2028d\r\n", "en", "en", box);
    EXPECT_EQ(box.Text(), u"\r\nAnn 9:00:00\r\na\rb\r\nc\r\nd\r\n");
}

}  // namespace
}  // namespace velmora::relay

namespace velmora::relay {
namespace {

TEST_F(SendBufferTest, OverlongLinesAreMessageText) {
    const std::size_t max = mduSendBuffer::kMaxSpeakerLineLength;
    std::u16string atLimit = std::u16string(max - 8, u'x') + u"12:34:56";
    EXPECT_TRUE(buffer.IsSpeakerLine(atLimit));
    EXPECT_FALSE(buffer.IsSpeakerLine(u"x" + atLimit));
    EXPECT_EQ(buffer.ExtractSpeakerName(u"x" + atLimit, true), u"");

    // A hostile line of digits ends up as part of the message, in one piece.
    std::u16string digits = std::u16string(100000, u'1') + u":";
    testing::ShowHistory(buffer, u"Ann 9:00:00\r\n" + digits + u"\r\n", "en", "en", box);
    EXPECT_EQ(box.Text(), u"\r\nAnn 9:00:00\r\n" + digits + u"\r\n");
}

}  // namespace
}  // namespace velmora::relay
