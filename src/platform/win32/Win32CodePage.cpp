#include "platform/win32/Win32CodePage.h"

#include <array>
#include <climits>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Utf8.h"

namespace velmora::platform::win32 {

namespace {

using WidthTable = std::array<unsigned char, 65536>;

bool IsUtf(UINT cp) {
    return cp == CP_UTF8 || cp == CP_UTF7;
}

// Flags for WideCharToMultiByte: no best-fit look-alikes, so an unencodable character is
// reported as such (the UTF pages take no flags and have nothing unencodable).
DWORD ToFlags(UINT cp) {
    return IsUtf(cp) ? 0 : WC_NO_BEST_FIT_CHARS;
}

// One character (one or two code units) to ANSI; empty when the page cannot encode it.
std::string EncodeOne(UINT cp, const wchar_t* c, int units) {
    char buf[16];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(cp, ToFlags(cp), c, units, buf, sizeof buf, nullptr,
                                IsUtf(cp) ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault) return {};
    return std::string(buf, n);
}

const unsigned char* Widths(UINT cp) {
    static std::mutex mutex;
    static std::map<UINT, std::unique_ptr<WidthTable>> tables;
    std::lock_guard lock(mutex);
    auto& t = tables[cp];
    if (!t) {
        t = std::make_unique<WidthTable>();
        t->fill(1);
        for (std::size_t c = 0x80; c < t->size(); ++c) {
            if (c >= 0xD800 && c < 0xE000) continue;  // a lone surrogate cannot be encoded
            const wchar_t w = static_cast<wchar_t>(c);
            if (EncodeOne(cp, &w, 1).size() == 2) (*t)[c] = 2;
        }
    }
    return t->data();
}

const wchar_t* W(std::u16string_view s) {
    return reinterpret_cast<const wchar_t*>(s.data());
}

UINT Resolved(UINT codePage) {
    return codePage == CP_ACP ? GetACP() : codePage;
}

}  // namespace

Win32CodePage::Win32CodePage(UINT codePage)
    : TableCodePage(Widths(Resolved(codePage))), codePage_(Resolved(codePage)) {}

std::string Win32CodePage::ToAnsi(std::u16string_view text) const {
    if (codePage_ == CP_UTF8) return Utf8Encode(text);
    if (text.empty()) return {};
    if (text.size() < INT_MAX / 4) {
        // Fast path: the whole text in one call when every character is encodable.
        const int units = static_cast<int>(text.size());
        std::string out(text.size() * 4, '\0');
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(codePage_, ToFlags(codePage_), W(text), units, out.data(),
                                    static_cast<int>(out.size()), nullptr,
                                    IsUtf(codePage_) ? nullptr : &usedDefault);
        if (n > 0 && !usedDefault) {
            out.resize(n);
            return out;
        }
    }
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        int units = 1;
        if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            units = 2;
        std::string one = EncodeOne(codePage_, W(text.substr(i)), units);
        out += one.empty() ? std::string("?") : one;
        i += units;
    }
    return out;
}

std::u16string Win32CodePage::FromAnsi(std::string_view bytes) const {
    if (codePage_ == CP_UTF8) return Utf8Decode(bytes);
    if (bytes.empty()) return {};
    auto decode = [&](const char* p, int n, wchar_t* out, int outSize) {
        return MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, p, n, out, outSize);
    };
    if (bytes.size() < INT_MAX) {
        std::u16string out(bytes.size(), u'\0');
        int n = decode(bytes.data(), static_cast<int>(bytes.size()),
                       reinterpret_cast<wchar_t*>(out.data()), static_cast<int>(out.size()));
        if (n > 0) {
            out.resize(n);
            return out;
        }
    }
    // Some byte is invalid: one character at a time, a lead byte with its trail byte. A lead
    // byte without a valid trail byte is bad on its own; the next byte starts afresh.
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        wchar_t buf[4];
        int len = IsDBCSLeadByteEx(codePage_, static_cast<BYTE>(bytes[i])) ? 2 : 1;
        int n = i + len <= bytes.size() ? decode(bytes.data() + i, len, buf, 4) : 0;
        if (n > 0) {
            out.append(reinterpret_cast<const char16_t*>(buf), n);
            i += len;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
        }
    }
    return out;
}

}  // namespace velmora::platform::win32
