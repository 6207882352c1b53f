#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::relay {

// The speaker lines that chat programs on Linux print, beside the four classic forms the
// history module matches with its patterns. Hand-written parsers: each form has a fixed shape,
// and both regex backends would otherwise have to agree on anchoring and laziness.

// How a window's history prints its speakers, decided by the first speaker line it shows:
// classic and "says:" forms put the speaker on a line of its own above the message; the
// parenthesised-stamp form ("(07:02:09) Alice: hi") and the angle form ("<alice> hi") put
// speaker and first text line together.
enum class SpeakerFamily { Unknown, OwnLine, StampedOneLine, AngleOneLine };

// A one-line speaker line split in its parts: what is shown as the speaker line (the stamp and
// the name with their punctuation), the name itself, and the message's first line.
struct OneLineSpeaker {
    std::u16string_view header;
    std::u16string_view name;
    std::u16string_view body;
};

// "(hh:mm:ss) Name: text" and "(mm/dd/yy hh:mm:ss) Name: text"; an AM/PM after the time is
// allowed. The name ends at the first ": ".
std::optional<OneLineSpeaker> ParseStampedLine(std::u16string_view line);

// "<Name> text", with "[hh:mm:ss] " or "hh:mm:ss " in front or not. Names hold no blank.
std::optional<OneLineSpeaker> ParseAngleLine(std::u16string_view line);

// "Name says:" with or without "[hh:mm:ss] " in front, and "Name 说:" or "Name said:" with that
// stamp in front (without it they are classic lines). The name, or nothing.
std::optional<std::u16string_view> ParseSaysLine(std::u16string_view line);

// The text with every line end made CR LF (a lone LF, as most Linux programs copy, and U+2028,
// as Qt text views give, end lines too) and without U+FFFC (embedded objects). Text that has
// neither comes back unchanged.
std::u16string NormalizeLineEnds(std::u16string_view text);

// The line without the blanks (U+0020, tab) at its end.
std::u16string_view RightTrimBlanks(std::u16string_view s);

}  // namespace velmora::relay
