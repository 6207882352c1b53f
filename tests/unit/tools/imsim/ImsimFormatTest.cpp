// The history lines the stand-in prints must be the ones chat history parsing recognises.

#include <gtest/gtest.h>

#include <regex>

#include "ControlProtocol.h"
#include "PeerScript.h"
#include "SpeakerLine.h"

namespace imsim {
namespace {

// The two speaker patterns of the history parser, over UTF-8 bytes ("说" is a byte sequence
// here, which keeps the alternatives intact).
const std::regex kSpeakerLine(
    R"(.+\d+:\d+:\d+(?!.)|.+\d+:\d+\s*((am\)|pm\))|(AM\)|PM\)))\s*:(?!.)|.+(说|said|say):(?!.)|.+\(\d+-\d+-\d+\s*\d+:\d+:\d+\):(?!.))",
    std::regex::ECMAScript);
const std::regex kSpeakerName(
    R"(.+(?=\d+:\d+:\d+(?!.))|.+(?=\(\d+:\d+\s*((am\)|pm\))|(AM\)|PM\)))\s*:(?!.))|.+(?=(说|said):(?!.))|.+(?=\(\d+-\d+-\d+\s*\d+:\d+:\d+\):(?!.)))",
    std::regex::ECMAScript);

std::string Trim(std::string s) {
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

TEST(SpeakerLineTest, EveryFormIsASpeakerLineWithItsName) {
    struct Case {
        int form;
        std::string said;
        ClockTime t;
        std::string line;
        std::string name;  // as the parser extracts it
    };
    const Case cases[] = {
        {1, "said", {2009, 9, 23, 9, 5, 7}, "Alice 09:05:07", "Alice 0"},
        {1, "said", {2009, 9, 23, 21, 45, 0}, "Alice 21:45:00", "Alice 2"},
        {2, "said", {2009, 9, 23, 0, 7, 0}, "Alice (12:07 AM):", "Alice"},
        {2, "said", {2009, 9, 23, 12, 30, 0}, "Alice (12:30 PM):", "Alice"},
        {2, "said", {2009, 9, 23, 23, 59, 0}, "Alice (11:59 PM):", "Alice"},
        {3, "said", {}, "Alice said:", "Alice"},
        {3, "说", {}, "Alice 说:", "Alice"},
        // "say" makes a speaker line that yields no name.
        {3, "say", {}, "Alice say:", ""},
        {4, "said", {2009, 9, 3, 8, 1, 2}, "Alice(2009-09-03 08:01:02):", "Alice"},
    };
    for (const auto& c : cases) {
        SpeakerStyle style{c.form, c.said, true};
        std::string line = SpeakerLine(style, "Alice", c.t);
        EXPECT_EQ(line, c.line);
        EXPECT_TRUE(std::regex_search(line, kSpeakerLine)) << line;
        std::smatch m;
        std::string name = std::regex_search(line, m, kSpeakerName) ? Trim(m.str()) : "";
        EXPECT_EQ(name, c.name) << line;
    }
}

TEST(SpeakerLineTest, MessageLinesAreIndentedOrNotAndNeverSpeakerLines) {
    ClockTime t{2009, 9, 23, 10, 0, 0};
    SpeakerStyle indented{1, "said", true};
    SpeakerStyle flush{4, "said", false};
    EXPECT_EQ(MessageLines(indented, "Bob", t, "hi\nthere\r\nthird\rfourth"),
              (std::vector<std::string>{"Bob 10:00:00", "    hi", "    there", "    third",
                                        "    fourth"}));
    EXPECT_EQ(MessageLines(flush, "Bob", t, "one line"),
              (std::vector<std::string>{"Bob(2009-09-23 10:00:00):", "one line"}));
    EXPECT_EQ(MessageLines(flush, "Bob", t, ""),
              (std::vector<std::string>{"Bob(2009-09-23 10:00:00):", ""}));
}

TEST(PeerScriptTest, TimedLinesRepliesCommentsAndBadLines) {
    PeerScript s = ParsePeerScript(
        "# greeting\n"
        "500\tHello there\n"
        "\n"
        "1200\tTwo\\nlines\r\n"
        "reply\tThanks!\n"
        "abc\tbad delay\n"
        "no tab here\n"
        "-5\tnegative\n"
        "reply\tSecond answer");
    ASSERT_EQ(s.timed.size(), 2u);
    EXPECT_EQ(s.timed[0].delayMs, 500);
    EXPECT_EQ(s.timed[0].text, "Hello there");
    EXPECT_EQ(s.timed[1].delayMs, 1200);
    EXPECT_EQ(s.timed[1].text, "Two\nlines");
    EXPECT_EQ(s.replies, (std::vector<std::string>{"Thanks!", "Second answer"}));
    EXPECT_EQ(s.errors, (std::vector<std::string>{"line 6: bad delay", "line 7: no tab",
                                                  "line 8: bad delay"}));
    EXPECT_TRUE(ParsePeerScript("").timed.empty());
}

TEST(ControlProtocolTest, EscapesRoundTripAndRepliesAreFramed) {
    for (std::string text :
         {"", "plain", "a\r\nb", "tab\there", "back\\slash\\n literal", "尾\\"}) {
        std::string e = Escape(text);
        EXPECT_EQ(e.find('\n'), std::string::npos);
        EXPECT_EQ(Unescape(e), text) << e;
    }
    EXPECT_EQ(Unescape("odd \\x stays"), "odd \\x stays");
    EXPECT_EQ(OkReply("a\r\nb"), "ok 4\na\r\nb");
    EXPECT_EQ(ErrReply("bad\nthing"), "err bad thing\n");
}

}  // namespace
}  // namespace imsim
