// UTF-8 decoding and encoding of untrusted bytes.
// Checks: decoding never yields an unpaired surrogate; valid UTF-8 comes back byte for byte
// through encode(decode()); decoding what encoding gives returns the same UTF-16 when that
// had no unpaired surrogate; the code page's converters are the same functions.

#include "FuzzCheck.h"
#include "platform/Utf8.h"
#include "platform/posix/IconvCodePage.h"

namespace {

using namespace velmora;

// Whether the bytes are well-formed UTF-8 (checked without the decoder under test).
bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int need;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + need >= s.size()) return false;
        for (int k = 1; k <= need; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return false;
        }
        i += need + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const platform::posix::IconvCodePage codePage;
    const std::string_view bytes = fuzz::Bytes(data, size);

    const std::u16string decoded = platform::Utf8Decode(bytes);
    FUZZ_CHECK(!fuzz::HasUnpairedSurrogate(decoded));
    FUZZ_CHECK(decoded.size() <= bytes.size());
    FUZZ_CHECK(codePage.FromUtf8(bytes) == decoded);
    const std::string again = platform::Utf8Encode(decoded);
    if (IsValidUtf8(bytes)) {
        FUZZ_CHECK(again == bytes);
        FUZZ_CHECK(decoded.find(u'\uFFFD') == std::u16string::npos ||
                   bytes.find("\xEF\xBF\xBD") != std::string_view::npos);
    } else {
        FUZZ_CHECK(decoded.find(u'\uFFFD') != std::u16string::npos);
    }
    // Whatever was decoded encodes to valid UTF-8 that decodes to the same text.
    FUZZ_CHECK(IsValidUtf8(again));
    FUZZ_CHECK(platform::Utf8Decode(again) == decoded);

    // The same bytes read as UTF-16: encoding replaces exactly the unpaired surrogates.
    const std::u16string units = fuzz::Units(bytes);
    const std::string encoded = platform::Utf8Encode(units);
    FUZZ_CHECK(codePage.ToUtf8(units) == encoded);
    FUZZ_CHECK(IsValidUtf8(encoded));
    const std::u16string back = platform::Utf8Decode(encoded);
    FUZZ_CHECK(back.size() == units.size());
    if (!fuzz::HasUnpairedSurrogate(units)) FUZZ_CHECK(back == units);
    return 0;
}
