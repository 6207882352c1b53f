// The form engine's answer page: extraction after the result marker and the character
// references. Checks: the extraction is the text between the first marker and the next '<';
// decoding leaves no "&lt;" "&gt;" "&#39;" "&quot;" that were in the page's text and every CR
// is followed by LF; the parsed answer is that decoded extraction, whatever the status.

#include "FuzzCheck.h"
#include "platform/IHttp.h"
#include "platform/posix/IconvCodePage.h"
#include "translate/engines/FormEngine.h"
#include "translate/mduTranslate.h"

namespace {

using namespace velmora;

std::size_t Count(std::u16string_view s, std::u16string_view what) {
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != s.npos; at = s.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const platform::posix::IconvCodePage codePage;
    if (size < 2) return 0;
    // First two bytes: the HTTP status the page came with.
    const long status = data[0] | (data[1] << 8);
    const std::string body(fuzz::Bytes(data + 2, size - 2));
    const std::u16string page = translate::DecodeUtf8(codePage, body);

    const auto extracted = translate::ExtractTranslation(page);
    const std::size_t marker = page.find(translate::kResultMarker);
    if (marker == page.npos) {
        FUZZ_CHECK(!extracted);
    } else {
        const std::size_t from = marker + translate::kResultMarker.size();
        const std::size_t lt = page.find(u'<', from);
        FUZZ_CHECK(extracted.has_value() == (lt != page.npos));
        if (extracted) {
            FUZZ_CHECK(*extracted == page.substr(from, lt - from));
            FUZZ_CHECK(extracted->find(u'<') == std::u16string::npos);
        }
    }

    // Decoding on its own, on the whole page: no '<' comes out of anything but "&lt;".
    const std::u16string decoded = translate::DecodeTranslationText(page);
    FUZZ_CHECK(Count(decoded, u"<") == Count(page, u"<") + Count(page, u"&lt;"));
    FUZZ_CHECK(Count(decoded, u"\r") == Count(page, u"\r"));
    FUZZ_CHECK(Count(decoded, u"\r\n") == Count(page, u"\r"));
    FUZZ_CHECK(decoded.size() <= page.size() + Count(page, u"\r"));

    const auto result =
        translate::engines::ParseFormAnswer(platform::HttpResponse(status, body), codePage);
    if (extracted) {
        FUZZ_CHECK(result.text.has_value());
        FUZZ_CHECK(*result.text == translate::DecodeTranslationText(*extracted));
        FUZZ_CHECK(!fuzz::HasUnpairedSurrogate(*result.text));
    } else {
        FUZZ_CHECK(!result.text);
        FUZZ_CHECK(!result.failure.detail.empty());
    }
    return 0;
}
