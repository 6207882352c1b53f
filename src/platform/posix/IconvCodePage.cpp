#include "platform/posix/IconvCodePage.h"

#include <iconv.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/Utf8.h"

namespace velmora::platform::posix {

namespace {

constexpr const char* kAnsi = "CP936";
constexpr const char* kUtf16 = "UTF-16LE";
static_assert(std::endian::native == std::endian::little, "char16_t buffers are read as UTF-16LE");

class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // One conversion step; returns iconv's result and leaves errno set on failure.
    std::size_t Convert(const char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
        return iconv(cd_, const_cast<char**>(in), inLeft, out, outLeft);
    }
    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    iconv_t cd_;
};

const std::array<unsigned char, 65536>& WidthTable() {
    static const std::array<unsigned char, 65536> table = [] {
        std::array<unsigned char, 65536> t;
        t.fill(1);
        Iconv cv(kAnsi, kUtf16);
        for (std::size_t c = 0x80; c < t.size(); ++c) {
            if (c >= 0xD800 && c < 0xE000) continue;  // a lone surrogate cannot be encoded
            char16_t unit = static_cast<char16_t>(c);
            const char* in = reinterpret_cast<const char*>(&unit);
            std::size_t inLeft = sizeof unit;
            char buf[8];
            char* out = buf;
            std::size_t outLeft = sizeof buf;
            cv.Reset();
            if (cv.Convert(&in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
                out - buf == 2)
                t[c] = 2;
        }
        return t;
    }();
    return table;
}

}  // namespace

IconvCodePage::IconvCodePage() : TableCodePage(WidthTable().data()) {}

std::string IconvCodePage::ToAnsi(std::u16string_view text) const {
    Iconv cv(kAnsi, kUtf16);
    std::string out;
    out.reserve(text.size() * 2);
    const char* in = reinterpret_cast<const char*>(text.data());
    std::size_t inLeft = text.size() * sizeof(char16_t);
    char buf[4096];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        std::size_t r = cv.Convert(&in, &inLeft, &o, &oLeft);
        out.append(buf, o - buf);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // Unencodable or a lone surrogate: one '?' per character (a pair is one character).
            out.push_back('?');
            std::size_t skip = sizeof(char16_t);
            char16_t u;
            std::memcpy(&u, in, sizeof u);
            if (u >= 0xD800 && u < 0xDC00 && inLeft >= 4) {
                char16_t next;
                std::memcpy(&next, in + 2, sizeof next);
                if (next >= 0xDC00 && next < 0xE000) skip = 4;
            }
            if (inLeft < skip) skip = inLeft;
            in += skip;
            inLeft -= skip;
            cv.Reset();
        }
    }
    return out;
}

std::u16string IconvCodePage::FromAnsi(std::string_view bytes) const {
    Iconv cv(kUtf16, kAnsi);
    std::u16string out;
    out.reserve(bytes.size());
    const char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    char16_t buf[2048];
    while (inLeft > 0) {
        char* o = reinterpret_cast<char*>(buf);
        std::size_t oLeft = sizeof buf;
        std::size_t r = cv.Convert(&in, &inLeft, &o, &oLeft);
        out.append(buf, (o - reinterpret_cast<char*>(buf)) / sizeof(char16_t));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // EILSEQ or a truncated lead byte at the end (EINVAL): skip one byte.
            out.push_back(0xFFFD);
            ++in;
            --inLeft;
            cv.Reset();
        }
    }
    return out;
}

}  // namespace velmora::platform::posix
