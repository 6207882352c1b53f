#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Async.h"
#include "platform/IRegex.h"
#include "relay/IResultBox.h"
#include "relay/ITranslate.h"
#include "relay/SpeakerForms.h"

namespace velmora::relay {

// The chat-history module: recognises speaker lines in captured IM history, learns the user's own
// speaker name from the texts sent before, and writes the other party's messages with their
// translation into the result box. One instance per process, owned by the main window.
class mduSendBuffer {
  public:
    // A name followed by a time stamp, by said/say/说 and a colon, by a 12-hour time in
    // parentheses, or by a parenthesised date and time.
    static constexpr std::u16string_view SpeakerLinePattern =
        uR"re(.+\d+:\d+:\d+(?!.)|.+\d+:\d+\s*((am\)|pm\))|(AM\)|PM\)))\s*:(?!.)|.+(说|said|say):(?!.)|.+\(\d+-\d+-\d+\s*\d+:\d+:\d+\):(?!.))re";
    // The same endings as lookaheads, so the match is the name in front of them.
    static constexpr std::u16string_view SpeakerNamePattern =
        uR"re(.+(?=\d+:\d+:\d+(?!.))|.+(?=\(\d+:\d+\s*((am\)|pm\))|(AM\)|PM\)))\s*:(?!.))|.+(?=(说|said):(?!.))|.+(?=\(\d+-\d+-\d+\s*\d+:\d+:\d+\):(?!.)))re";

    // Longer lines are never speaker lines: a speaker line is a name and a time stamp, and the
    // patterns' backtracking grows with the square of the line length (a 100 000-digit line
    // would take seconds).
    static constexpr std::size_t kMaxSpeakerLineLength = 256;

    // Both patterns are compiled here, once.
    mduSendBuffer(platform::IRegexEngine& regex, ITranslate& translator);

    // Keeps a pasted translation while the own speaker name is still unknown.
    void BufferSentText(const std::u16string& text);

    // Shows the other party's messages of a new piece of history in the box. The reading and
    // the box's writes run on the loop's thread; each translation runs aside while the loop
    // goes on.
    platform::Task<> ProcessNewHistory(platform::IEventLoop& loop, std::u16string text,
                                       std::string sourceCode, std::string targetCode,
                                       IResultBox& resultBox);

    bool IsSpeakerLine(std::u16string_view line) const;
    std::u16string ExtractSpeakerName(std::u16string_view line, bool trimIt) const;
    // True when the pattern matches anywhere in text; each distinct pattern is compiled once.
    bool RegexTest(std::u16string_view text, std::u16string_view pattern);

    // Looks for the buffered texts in h and takes the speaker line above the first one found
    // (or, in a one-line form, the speaker line the text is on).
    void LearnOwnSpeakerName(std::u16string_view h);

    // A recognised speaker line: what is shown of it, the name, and for a one-line form the
    // message's first line.
    struct Speaker {
        std::u16string_view header;
        std::u16string name;
        std::optional<std::u16string_view> body;
    };
    // The line (left-trimmed) as a speaker line of any form the window's family allows; the
    // first one recognised decides the family, so that in a window that prints one form a
    // message line that merely looks like another (a time, angle brackets) stays text.
    std::optional<Speaker> Classify(std::u16string_view line, SpeakerFamily& family) const;
    SpeakerFamily Family() const { return family_; }
    // A newly picked history may be another program's: its form is learnt again.
    void ForgetSpeakerFamily() { family_ = SpeakerFamily::Unknown; }

    const std::vector<std::u16string>& SentTexts() const { return sentTexts_; }
    const std::u16string& OwnSpeakerName() const { return ownSpeakerName_; }
    bool InIncomingMessage() const { return inIncomingMessage_; }

  private:
    // One thing to show of a new piece of history: a speaker line of the other party, or one of
    // their message blocks (translated when the languages differ).
    struct Shown {
        bool header = false;
        std::u16string text;
    };
    // Reads a new piece of history: learns the own speaker name and the window's form, and
    // returns what of the other party's to show, in order.
    std::vector<Shown> ReadNewHistory(std::u16string_view text);

    const platform::ICompiledRegex& Compiled(std::u16string_view pattern);

    platform::IRegexEngine& regex_;
    ITranslate& translator_;
    std::map<std::u16string, std::unique_ptr<platform::ICompiledRegex>, std::less<>> cache_;
    const platform::ICompiledRegex* speakerLine_ = nullptr;
    const platform::ICompiledRegex* speakerName_ = nullptr;

    std::vector<std::u16string> sentTexts_;
    std::u16string ownSpeakerName_;
    bool inIncomingMessage_ = false;
    SpeakerFamily family_ = SpeakerFamily::Unknown;
};

// Trimming removes U+0020 only; tabs and other white space stay.
std::u16string_view LeftTrimSpaces(std::u16string_view s);
std::u16string_view TrimSpaces(std::u16string_view s);

}  // namespace velmora::relay
