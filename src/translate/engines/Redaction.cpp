#include "translate/engines/Redaction.h"

#include "translate/engines/UrlParts.h"

namespace velmora::translate::engines {

namespace {

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    if (from.empty()) return;
    for (std::size_t pos = s.find(from); pos != std::string::npos;
         pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

}  // namespace

std::string Redact(std::string text, std::string_view key) {
    if (key.empty()) return text;
    ReplaceAll(text, key, "***");
    const std::string encoded = PercentEncode(key);
    if (encoded != key) ReplaceAll(text, encoded, "***");
    return text;
}

std::string ServerText(std::string_view text, std::string_view key, std::size_t maxChars) {
    const std::string redacted = Redact(std::string(text), key);
    std::string out;
    bool gap = false;
    for (unsigned char c : redacted) {
        if (c >= 0x20 && c < 0x7F) {
            if (gap && !out.empty()) out += ' ';
            gap = false;
            out += static_cast<char>(c);
        } else {
            gap = true;
        }
        if (out.size() >= maxChars) break;
    }
    if (out.size() > maxChars) out.resize(maxChars);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace velmora::translate::engines
