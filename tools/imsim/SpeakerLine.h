#pragma once

#include <string>
#include <vector>

namespace imsim {

struct ClockTime {
    int year = 2009, month = 9, day = 23, hour = 0, minute = 0, second = 0;
};

// The four ways chat programs head a message:
//   1 "Name 12:34:56"   2 "Name (12:34 PM):"   3 "Name said:" (or another word, e.g. "说")
//   4 "Name(2009-09-23 12:34:56):"
struct SpeakerStyle {
    int form = 1;
    std::string saidWord = "said";
    bool indent = true;
};

std::string SpeakerLine(const SpeakerStyle& style, const std::string& name, const ClockTime& t);

// The history lines of one message: the speaker line, then each line of the text, indented
// when the style says so. Text lines split at LF, CR LF and lone CR alike.
std::vector<std::string> MessageLines(const SpeakerStyle& style, const std::string& name,
                                      const ClockTime& t, const std::string& text);

}  // namespace imsim
