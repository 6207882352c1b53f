#pragma once

#include <string>
#include <string_view>

#include "platform/ICodePage.h"
#include "platform/IEventLoop.h"
#include "platform/IHttp.h"

namespace velmora::translate {

// What one translation exchange needs. The references must outlive the context.
struct TranslateContext {
    platform::IHttp& http;
    const platform::ICodePage& codePage;
    platform::IEventLoop& loop;
    std::string endpointUrl;
};

// Every UTF-8 byte of the text as %XX (upper-case hex), letters and blanks included.
std::string PercentEncodeUtf8(const platform::ICodePage& codePage, std::u16string_view text);

// The raw bytes as UTF-8; malformed sequences become U+FFFD.
std::u16string DecodeUtf8(const platform::ICodePage& codePage, std::string_view bytes);

// "hl=zh-CN&ie=UTF-8&text=" + encoded text + "&sl=" + source + "&tl=" + target.
std::string BuildTranslationForm(const platform::ICodePage& codePage, std::u16string_view text,
                                 const std::string& sourceCode, const std::string& targetCode);

// The request that posts one piece: the form body and the four headers, in their order.
platform::HttpRequest BuildTranslationRequest(const TranslateContext& ctx, std::u16string_view text,
                                              const std::string& sourceCode,
                                              const std::string& targetCode);

// One exchange: posts the piece and returns the whole answer page, whatever its status.
// Yields to the event loop once afterwards. Transport failures throw platform::HttpError.
std::u16string RequestTranslation(const TranslateContext& ctx, std::u16string_view text,
                                  const std::string& sourceCode, const std::string& targetCode);

}  // namespace velmora::translate
