// How the chat programs people use on Linux print a speaker, beside the classic forms.

#include "relay/SpeakerForms.h"

#include <gtest/gtest.h>

#include "RelayTestSupport.h"
#include "relay/fake/RecordingResultBox.h"
#include "relay/mduSendBuffer.h"
#include "support/NativeBackends.h"

namespace velmora::relay {
namespace {

using testing::FakeTranslate;
using F = SpeakerFamily;

struct FormCase {
    std::u16string line;
    F family;  // Unknown: no speaker line
    std::u16string name;
    std::u16string body;    // one-line forms: the message's first line
    std::u16string header;  // what is shown as the speaker line
};

class SpeakerFormsTest : public ::testing::Test {
  protected:
    native::RegexEngine regex;
    FakeTranslate translate;
    mduSendBuffer buffer{regex, translate};
    fake::RecordingResultBox box;
};

TEST_F(SpeakerFormsTest, EachFormInAFreshWindow) {
    const FormCase cases[] = {
        // One line, parenthesised stamp, as a GTK messenger prints it.
        {u"(07:02:09) Alice: Hello Velmora, how are you?", F::StampedOneLine, u"Alice",
         u"Hello Velmora, how are you?", u"(07:02:09) Alice:"},
        {u"(12/09/26 07:02:09) Alice: Hello", F::StampedOneLine, u"Alice", u"Hello",
         u"(12/09/26 07:02:09) Alice:"},
        {u"(7:02:09 PM) Bob Smith: a: b", F::StampedOneLine, u"Bob Smith", u"a: b",
         u"(7:02:09 PM) Bob Smith:"},
        {u"(07:02:09) 爱丽丝: 你好，明天见", F::StampedOneLine, u"爱丽丝", u"你好，明天见",
         u"(07:02:09) 爱丽丝:"},
        {u"(07:02:09) Alice:", F::StampedOneLine, u"Alice", u"", u"(07:02:09) Alice:"},
        {u"(07:02:09) Alice: trailing   ", F::StampedOneLine, u"Alice", u"trailing",
         u"(07:02:09) Alice:"},
        // One line, angle brackets, as an IRC client prints it.
        {u"<alice> Hello Velmora, how are you?", F::AngleOneLine, u"alice",
         u"Hello Velmora, how are you?", u"<alice>"},
        {u"[07:02:09] <alice> Hello", F::AngleOneLine, u"alice", u"Hello", u"[07:02:09] <alice>"},
        {u"07:02:09 <@alice> Hello", F::AngleOneLine, u"@alice", u"Hello", u"07:02:09 <@alice>"},
        {u"<爱丽丝> 你好", F::AngleOneLine, u"爱丽丝", u"你好", u"<爱丽丝>"},
        // The speaker on a line of its own.
        {u"Alice says:", F::OwnLine, u"Alice", u"", u"Alice says:"},
        {u"[07:02:09] Alice says:", F::OwnLine, u"Alice", u"", u"[07:02:09] Alice says:"},
        {u"[07:02:09] 爱丽丝 说:", F::OwnLine, u"爱丽丝", u"", u"[07:02:09] 爱丽丝 说:"},
        {u"[07:02:09] Alice said:  ", F::OwnLine, u"Alice", u"", u"[07:02:09] Alice said:  "},
        {u"Ann 9:34:56", F::OwnLine, u"Ann", u"", u"Ann 9:34:56"},  // classic, unchanged
        {u"Ann 说:", F::OwnLine, u"Ann", u"", u"Ann 说:"},
        // Not speaker lines.
        {u"(07:02) Alice: hi", F::Unknown, u"", u"", u""},
        {u"(07:02:09)Alice: hi", F::Unknown, u"", u"", u""},
        {u"(07:02:09) Alice hi", F::Unknown, u"", u"", u""},
        {u"(07:02:09) : hi", F::Unknown, u"", u"", u""},
        {u"<alice>hi", F::Unknown, u"", u"", u""},
        {u"<two words> hi", F::Unknown, u"", u"", u""},
        {u"<> hi", F::Unknown, u"", u"", u""},
        {u"a <b> c", F::Unknown, u"", u"", u""},
        {u"Alice says: hi", F::Unknown, u"", u"", u""},
        {u" says:", F::Unknown, u"", u"", u""},
        {u"[7:2:9] Alice says", F::Unknown, u"", u"", u""},
        {u"hello", F::Unknown, u"", u"", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Narrow(c.line));
        F family = F::Unknown;
        const auto speaker = buffer.Classify(c.line, family);
        EXPECT_EQ(family, c.family);
        ASSERT_EQ(speaker.has_value(), c.family != F::Unknown);
        if (!speaker) continue;
        EXPECT_EQ(speaker->name, c.name);
        EXPECT_EQ(std::u16string(speaker->header), c.header);
        EXPECT_EQ(speaker->body.has_value(),
                  c.family == F::StampedOneLine || c.family == F::AngleOneLine);
        if (speaker->body) {
            EXPECT_EQ(std::u16string(*speaker->body), c.body);
        }
    }
}

TEST_F(SpeakerFormsTest, AWindowThatShowedOneFormTakesLinesOfAnotherForText) {
    struct Case {
        F family;
        std::u16string line;
        bool speaker;
    };
    const Case cases[] = {
        {F::StampedOneLine, u"see you at 12:30:00", false},  // classic form 1 otherwise
        {F::StampedOneLine, u"<b> is bold", false},
        {F::StampedOneLine, u"Bob said:", false},
        {F::StampedOneLine, u"(08:00:00) Bob: hi", true},
        {F::AngleOneLine, u"(08:00:00) Bob: hi", false},
        {F::AngleOneLine, u"<bob> hi", true},
        {F::OwnLine, u"<bob> hi", false},
        {F::OwnLine, u"(08:00:00) Bob: hi", false},
        {F::OwnLine, u"Bob 8:00:00", true},
        {F::OwnLine, u"Bob says:", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Narrow(c.line));
        F family = c.family;
        EXPECT_EQ(buffer.Classify(c.line, family).has_value(), c.speaker);
        EXPECT_EQ(family, c.family);
    }
}

TEST(NormalizeLineEnds, EveryLineEndBecomesCrLfAndEmbeddedObjectsGo) {
    EXPECT_EQ(NormalizeLineEnds(u"a\r\nb\nc\u2028d\re"), u"a\r\nb\r\nc\r\nd\re");
    EXPECT_EQ(NormalizeLineEnds(u"\uFFFC(07:02:09) A: x\uFFFC\n"), u"(07:02:09) A: x\r\n");
    EXPECT_EQ(NormalizeLineEnds(u"\n\n"), u"\r\n\r\n");
    EXPECT_EQ(NormalizeLineEnds(u""), u"");
}

// A whole history as a GTK messenger's text widget gives it: LF line ends, one line a message,
// a second line of a message on its own, the user's own messages in between.
TEST_F(SpeakerFormsTest, OneLineHistoryLearnsTheOwnNameSkipsItAndTranslatesTheRest) {
    buffer.BufferSentText(u"Hola Alice");
    testing::ShowHistory(
        buffer,
        u"(07:02:09) Alice: Hello Velmora, how are you?\n"
        u"(07:02:20) Velmora: Hola Alice\n"
        u"(07:03:01) Alice: Fine.\n"
        u"See you at 12:30:00\n"
        u"(07:03:30) Velmora: Bien",  // the last line, without its line end: still skipped
        "en", "zh-CN", box);
    EXPECT_EQ(buffer.OwnSpeakerName(), u"Velmora");
    EXPECT_EQ(buffer.Family(), F::StampedOneLine);
    ASSERT_EQ(translate.calls.size(), 2u);
    EXPECT_EQ(translate.calls[0].text, u"Hello Velmora, how are you?");
    EXPECT_EQ(translate.calls[1].text, u"Fine.\r\nSee you at 12:30:00");
    const std::u16string shown = box.Text();
    EXPECT_NE(shown.find(u"(07:02:09) Alice:\r\n"), std::u16string::npos) << testing::Narrow(shown);
    EXPECT_EQ(shown.find(u"Velmora:"), std::u16string::npos) << testing::Narrow(shown);
    EXPECT_EQ(shown.find(u"Bien"), std::u16string::npos) << testing::Narrow(shown);
}

TEST_F(SpeakerFormsTest, AFirstReadOfOneLineWithoutItsLineEndIsASpeakerLine) {
    // Read through the tree, a history of one message ends without a line end.
    struct Case {
        std::u16string history;
        F family;
        std::u16string translated;  // the text handed to the engine
        std::u16string header;      // shown as the speaker line
    };
    const Case cases[] = {
        {u"(17:35:14) anna: Hello, are you there?", F::StampedOneLine, u"Hello, are you there?",
         u"(17:35:14) anna:\r\n"},
        {u"<alice> Hello there", F::AngleOneLine, u"Hello there", u"<alice>\r\n"},
        // The classic forms are unchanged: a last line alone is text.
        {u"Ann 9:34:56", F::Unknown, u"Ann 9:34:56", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Narrow(c.history));
        mduSendBuffer fresh{regex, translate};
        fake::RecordingResultBox shown;
        translate.calls.clear();
        testing::ShowHistory(fresh, c.history, "en", "zh-CN", shown);
        EXPECT_EQ(fresh.Family(), c.family);
        ASSERT_EQ(translate.calls.size(), 1u);
        EXPECT_EQ(translate.calls[0].text, c.translated);
        if (!c.header.empty()) {
            EXPECT_NE(shown.Text().find(c.header), std::u16string::npos)
                << testing::Narrow(shown.Text());
        }
    }
}

TEST_F(SpeakerFormsTest, IrcHistoryWithStampsAndQtLineSeparators) {
    buffer.BufferSentText(u"hi alice");
    testing::ShowHistory(buffer,
                         u"[07:02:09] <alice> Hello\u2028[07:02:15] <velmora> hi alice\u2028"
                         u"[07:02:40] <alice> <3 you\u2028",
                         "en", "zh-CN", box);
    EXPECT_EQ(buffer.OwnSpeakerName(), u"velmora");
    ASSERT_EQ(translate.calls.size(), 2u);
    EXPECT_EQ(translate.calls[0].text, u"Hello");
    EXPECT_EQ(translate.calls[1].text, u"<3 you");
    // Later captures: own lines stay skipped, and the family holds against look-alikes.
    translate.calls.clear();
    testing::ShowHistory(buffer, u"[07:05:00] <velmora> again\n[07:05:10] <alice> ok\n", "en",
                         "zh-CN", box);
    ASSERT_EQ(translate.calls.size(), 1u);
    EXPECT_EQ(translate.calls[0].text, u"ok");
    buffer.ForgetSpeakerFamily();
    EXPECT_EQ(buffer.Family(), F::Unknown);
}

TEST_F(SpeakerFormsTest, StampedSaysFormLearnsANameWithoutTheStamp) {
    buffer.BufferSentText(u"hello");
    testing::ShowHistory(buffer, u"[10:00:00] Me 说:\r\n  hello\r\n[10:00:05] Ann 说:\r\n  hi\r\n",
                         "en", "zh-CN", box);
    EXPECT_EQ(buffer.OwnSpeakerName(), u"Me");
    ASSERT_EQ(translate.calls.size(), 1u);
    EXPECT_EQ(translate.calls[0].text, u"hi");
}

}  // namespace
}  // namespace velmora::relay
