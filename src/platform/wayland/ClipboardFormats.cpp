#include "platform/wayland/ClipboardFormats.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

#include "platform/Utf8.h"

namespace velmora::platform::wayland {

namespace {

// Lower case, no blanks: "text/plain; charset=UTF-8" is the same type as ours.
std::string Normal(std::string_view type) {
    std::string out;
    for (char c : type)
        if (c != ' ' && c != '\t')
            out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return out;
}

// Best first; the ones after "text/plain" are X11 names.
constexpr std::array<std::string_view, 6> kTextRank = {
    "text/plain;charset=utf-8",   "utf8_string", "text/plain", "text", "string",
    "text/plain;charset=us-ascii"};

}  // namespace

ClipboardContents TextContents(const std::u16string& text) {
    const std::string utf8 = Utf8Encode(text);
    ClipboardContents c;
    for (const char* type :
         {"text/plain;charset=utf-8", "UTF8_STRING", "TEXT", "STRING", "text/plain"})
        c.formats.emplace_back(type, utf8);
    return c;
}

std::optional<std::string> PickTextType(const std::vector<std::string>& offered) {
    std::optional<std::string> best;
    std::size_t bestRank = kTextRank.size();
    for (const std::string& type : offered) {
        const std::string n = Normal(type);
        const auto it = std::find(kTextRank.begin(), kTextRank.end(), n);
        const auto rank = static_cast<std::size_t>(it - kTextRank.begin());
        if (rank < bestRank) {
            bestRank = rank;
            best = type;
        }
    }
    return best;
}

std::u16string DecodeText(std::string_view type, std::string_view bytes) {
    if (Normal(type) == "string") {
        // X11's STRING is Latin-1: each byte is its code point.
        std::u16string out;
        out.reserve(bytes.size());
        for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        return out;
    }
    return Utf8Decode(bytes);
}

std::optional<std::string> PickImageType(const std::vector<std::string>& offered) {
    for (const std::string& type : offered)
        if (Normal(type) == "image/png") return type;
    for (const std::string& type : offered)
        if (Normal(type).rfind("image/", 0) == 0) return type;
    return std::nullopt;
}

bool IsPreferredType(std::string_view type) {
    const std::string n = Normal(type);
    return n == "image/png" || std::find(kTextRank.begin(), kTextRank.end(), n) != kTextRank.end();
}

ClipboardContents BoundContents(const ClipboardContents& contents, int maxFormats,
                                std::size_t maxBytes) {
    ClipboardContents out;
    std::set<std::string> seen;
    std::size_t total = 0;
    for (const auto& [type, bytes] : contents.formats) {
        if (static_cast<int>(out.formats.size()) >= maxFormats) break;
        if (type.empty() || !seen.insert(type).second) continue;
        if (bytes.size() > maxBytes - total) continue;
        total += bytes.size();
        out.formats.emplace_back(type, bytes);
    }
    return out;
}

}  // namespace velmora::platform::wayland
