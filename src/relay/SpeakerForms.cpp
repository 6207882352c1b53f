#include "relay/SpeakerForms.h"

#include <algorithm>

namespace velmora::relay {

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Reads between min and max digits at pos; moves pos past them.
bool Digits(std::u16string_view s, std::size_t& pos, std::size_t min, std::size_t max) {
    std::size_t n = 0;
    while (pos + n < s.size() && n < max && IsDigit(s[pos + n])) ++n;
    if (n < min || (pos + n < s.size() && IsDigit(s[pos + n]))) return false;
    pos += n;
    return true;
}

bool Char(std::u16string_view s, std::size_t& pos, char16_t c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

// h:mm:ss or hh:mm:ss.
bool Clock(std::u16string_view s, std::size_t& pos) {
    return Digits(s, pos, 1, 2) && Char(s, pos, u':') && Digits(s, pos, 2, 2) &&
           Char(s, pos, u':') && Digits(s, pos, 2, 2);
}

// " AM", "PM", " pm" and the like after a clock.
void AmPm(std::u16string_view s, std::size_t& pos) {
    std::size_t p = pos;
    Char(s, p, u' ');
    if (p + 2 > s.size()) return;
    const char16_t a = s[p], m = s[p + 1];
    if ((a == u'A' || a == u'a' || a == u'P' || a == u'p') && (m == u'M' || m == u'm')) pos = p + 2;
}

// "[hh:mm:ss] " or "hh:mm:ss " at the start; pos past it, or unchanged when there is none.
bool LeadingStamp(std::u16string_view s, std::size_t& pos, bool bracketsOnly) {
    std::size_t p = pos;
    if (Char(s, p, u'[')) {
        if (Clock(s, p) && Char(s, p, u']') && Char(s, p, u' ')) {
            pos = p;
            return true;
        }
        return false;
    }
    if (bracketsOnly) return false;
    p = pos;
    if (Clock(s, p) && Char(s, p, u' ')) {
        pos = p;
        return true;
    }
    return false;
}

bool EndsWith(std::u16string_view s, std::u16string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

std::u16string_view TrimBlanks(std::u16string_view s) {
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
    return RightTrimBlanks(s);
}

}  // namespace

std::u16string_view RightTrimBlanks(std::u16string_view s) {
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
    return s;
}

std::optional<OneLineSpeaker> ParseStampedLine(std::u16string_view line) {
    std::size_t pos = 0;
    if (!Char(line, pos, u'(')) return std::nullopt;
    {
        // An optional date: mm/dd/yy (or yyyy) and a blank.
        std::size_t p = pos;
        if (Digits(line, p, 1, 2) && Char(line, p, u'/') && Digits(line, p, 1, 2) &&
            Char(line, p, u'/') && Digits(line, p, 2, 4) && Char(line, p, u' '))
            pos = p;
    }
    if (!Clock(line, pos)) return std::nullopt;
    AmPm(line, pos);
    if (!Char(line, pos, u')') || !Char(line, pos, u' ')) return std::nullopt;
    const std::size_t nameStart = pos;
    // The name runs to the first ": " (or a colon ending the line).
    std::size_t colon = line.find(u':', nameStart);
    while (colon != std::u16string_view::npos && colon + 1 < line.size() && line[colon + 1] != u' ')
        colon = line.find(u':', colon + 1);
    if (colon == std::u16string_view::npos) return std::nullopt;
    const std::u16string_view name = TrimBlanks(line.substr(nameStart, colon - nameStart));
    if (name.empty()) return std::nullopt;
    const std::size_t bodyStart = std::min(line.size(), colon + 2);
    return OneLineSpeaker{line.substr(0, colon + 1), name, line.substr(bodyStart)};
}

std::optional<OneLineSpeaker> ParseAngleLine(std::u16string_view line) {
    std::size_t pos = 0;
    LeadingStamp(line, pos, false);
    if (!Char(line, pos, u'<')) return std::nullopt;
    const std::size_t close = line.find(u'>', pos);
    if (close == std::u16string_view::npos || close == pos) return std::nullopt;
    const std::u16string_view name = line.substr(pos, close - pos);
    for (char16_t c : name)
        if (c == u' ' || c == u'\t' || c == u'<') return std::nullopt;
    std::size_t bodyStart = close + 1;
    if (bodyStart < line.size()) {
        if (line[bodyStart] != u' ') return std::nullopt;
        ++bodyStart;
    }
    return OneLineSpeaker{line.substr(0, close + 1), name, line.substr(bodyStart)};
}

std::optional<std::u16string_view> ParseSaysLine(std::u16string_view line) {
    std::size_t pos = 0;
    const bool stamped = LeadingStamp(line, pos, true);
    const std::u16string_view rest = RightTrimBlanks(line.substr(pos));
    std::u16string_view name;
    if (EndsWith(rest, u" says:")) {
        name = rest.substr(0, rest.size() - 6);
    } else if (stamped && EndsWith(rest, u"说:")) {
        name = rest.substr(0, rest.size() - 2);
    } else if (stamped && EndsWith(rest, u" said:")) {
        name = rest.substr(0, rest.size() - 6);
    } else {
        return std::nullopt;
    }
    name = TrimBlanks(name);
    if (name.empty()) return std::nullopt;
    return name;
}

std::u16string NormalizeLineEnds(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\uFFFC') continue;
        if (c == u'\u2028' || (c == u'\n' && (i == 0 || text[i - 1] != u'\r'))) {
            out += u"\r\n";
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace velmora::relay
