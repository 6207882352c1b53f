#include "SpeakerLine.h"

#include <cstdio>

namespace imsim {

namespace {
constexpr const char* kIndent = "    ";
}  // namespace

std::string SpeakerLine(const SpeakerStyle& style, const std::string& name, const ClockTime& t) {
    char buf[64];
    switch (style.form) {
        case 2: {
            int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
            std::snprintf(buf, sizeof buf, " (%d:%02d %s):", h12, t.minute,
                          t.hour < 12 ? "AM" : "PM");
            return name + buf;
        }
        case 3:
            return name + " " + style.saidWord + ":";
        case 4:
            std::snprintf(buf, sizeof buf, "(%04d-%02d-%02d %02d:%02d:%02d):", t.year, t.month,
                          t.day, t.hour, t.minute, t.second);
            return name + buf;
        default:
            std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", t.hour, t.minute, t.second);
            return name + buf;
    }
}

std::vector<std::string> MessageLines(const SpeakerStyle& style, const std::string& name,
                                      const ClockTime& t, const std::string& text) {
    std::vector<std::string> lines{SpeakerLine(style, name, t)};
    std::string current;
    auto flush = [&] {
        lines.push_back(style.indent ? kIndent + current : current);
        current.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            flush();
        } else if (c == '\n') {
            flush();
        } else {
            current += c;
        }
    }
    flush();
    return lines;
}

}  // namespace imsim
