#include "update/UpdateEntry.h"

#include <algorithm>
#include <array>

#include "update/UpdateScript.h"

namespace velmora::update {

namespace {

constexpr std::size_t kMaxNameUnits = 200;  // leaves room for the script's temporary names

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsCjkIdeograph(char16_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF);
}

bool IsNameChar(char16_t c) {
    return IsAsciiAlnum(c) || c == u'.' || c == u'_' || c == u'-' || c == u'+' || c == u' ' ||
           IsCjkIdeograph(c);
}

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? c - 32 : c;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// The names our own files carry are ASCII: compare them unit by unit.
bool EqualsAscii(std::u16string_view a, std::string_view ascii) {
    return a.size() == ascii.size() &&
           std::equal(a.begin(), a.end(), ascii.begin(),
                      [](char16_t x, char y) { return x == static_cast<unsigned char>(y); });
}

bool EqualsAsciiIgnoreCase(std::u16string_view a, std::string_view ascii) {
    return a.size() == ascii.size() &&
           std::equal(a.begin(), a.end(), ascii.begin(), [](char16_t x, char y) {
               return AsciiUpper(x) == AsciiUpper(static_cast<unsigned char>(y));
           });
}

// Windows maps these to devices whatever the extension ("nul.txt" is NUL).
bool IsReservedDeviceName(std::u16string_view name) {
    std::u16string_view stem = name.substr(0, name.find(u'.'));
    while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
    static constexpr std::array<std::u16string_view, 4> kPlain = {u"CON", u"PRN", u"AUX", u"NUL"};
    for (auto r : kPlain)
        if (EqualsIgnoreCase(stem, r)) return true;
    if (stem.size() == 4 && stem[3] >= u'0' && stem[3] <= u'9' &&
        (EqualsIgnoreCase(stem.substr(0, 3), u"COM") ||
         EqualsIgnoreCase(stem.substr(0, 3), u"LPT")))
        return true;
    return false;
}

}  // namespace

std::vector<std::u16string> SplitFields(std::u16string_view entry) {
    std::vector<std::u16string> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = entry.find(u',', start);
        if (comma == std::u16string_view::npos) {
            fields.emplace_back(entry.substr(start));
            return fields;
        }
        fields.emplace_back(entry.substr(start, comma - start));
        start = comma + 1;
    }
}

bool IsPlainFileName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxNameUnits) return false;
    if (!std::all_of(name.begin(), name.end(), IsNameChar)) return false;
    // Windows drops trailing dots and blanks, so "x." would overwrite "x".
    if (name.back() == u'.' || name.back() == u' ' || name.front() == u' ') return false;
    if (std::all_of(name.begin(), name.end(), [](char16_t c) { return c == u'.'; })) return false;
    if (IsReservedDeviceName(name)) return false;
    // The running script and the download folder must never be replaced by a download.
    if (EqualsAscii(name, kUpdateScriptName) || EqualsAscii(name, kWindowsUpdateScriptName) ||
        EqualsAsciiIgnoreCase(name, kDownloadFolderName))
        return false;
    return true;
}

bool IsDownloadUrl(std::u16string_view url) {
    std::size_t hostStart = 0;
    if (url.size() > 7 && EqualsIgnoreCase(url.substr(0, 7), u"http://")) {
        hostStart = 7;
    } else if (url.size() > 8 && EqualsIgnoreCase(url.substr(0, 8), u"https://")) {
        hostStart = 8;
    } else {
        return false;
    }
    if (url[hostStart] == u'/' || url[hostStart] == u'?' || url[hostStart] == u'#') return false;
    return std::none_of(url.begin(), url.end(),
                        [](char16_t c) { return c <= 0x20 || c == 0x7F || c == 0xFFFD; });
}

std::optional<UpdateEntry> ParseUpdateEntry(const platform::ICodePage& codePage,
                                            std::u16string_view entry) {
    std::vector<std::u16string> fields = SplitFields(entry);
    if (fields.size() < 2) return std::nullopt;
    if (!IsDownloadUrl(fields[0]) || !IsPlainFileName(fields[1])) return std::nullopt;
    UpdateEntry e;
    e.url = codePage.ToUtf8(fields[0]);
    e.name = codePage.ToUtf8(fields[1]);
    if (fields.size() >= 3) {
        std::string hex;
        bool ascii =
            std::all_of(fields[2].begin(), fields[2].end(), [](char16_t c) { return c < 0x80; });
        if (ascii) {
            for (char16_t c : fields[2]) hex.push_back(static_cast<char>(c));
            e.sha256 = ParseSha256Hex(hex);
        }
    }
    return e;
}

}  // namespace velmora::update
