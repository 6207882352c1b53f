#include "translate/mduTranHttpProtol.h"

namespace velmora::translate {

std::string PercentEncodeUtf8(const platform::ICodePage& codePage, std::u16string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (text.empty()) return {};
    const std::string bytes = codePage.ToUtf8(text);
    std::string out;
    out.resize(bytes.size() * 3);
    char* o = out.data();
    for (unsigned char b : bytes) {
        *o++ = '%';
        *o++ = kHex[b >> 4];
        *o++ = kHex[b & 0x0F];
    }
    return out;
}

std::u16string DecodeUtf8(const platform::ICodePage& codePage, std::string_view bytes) {
    if (bytes.empty()) return {};
    return codePage.FromUtf8(bytes);
}

std::string BuildTranslationForm(const platform::ICodePage& codePage, std::u16string_view text,
                                 const std::string& sourceCode, const std::string& targetCode) {
    std::string body = "hl=zh-CN&ie=UTF-8&text=";
    body += PercentEncodeUtf8(codePage, text);
    body += "&sl=";
    body += sourceCode;
    body += "&tl=";
    body += targetCode;
    return body;
}

platform::HttpRequest BuildTranslationRequest(const TranslateContext& ctx, std::u16string_view text,
                                              const std::string& sourceCode,
                                              const std::string& targetCode) {
    platform::HttpRequest req;
    req.method = "POST";
    req.url = ctx.endpointUrl;
    req.body = BuildTranslationForm(ctx.codePage, text, sourceCode, targetCode);
    req.headers = {
        {"Referer", ctx.endpointUrl},
        {"Accept-Charset", "gb2312,utf-8;q=0.7,*;q=0.7"},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Content-Length", std::to_string(req.body.size())},
    };
    return req;
}

std::u16string RequestTranslation(const TranslateContext& ctx, std::u16string_view text,
                                  const std::string& sourceCode, const std::string& targetCode) {
    platform::HttpResponse res =
        ctx.http.Send(BuildTranslationRequest(ctx, text, sourceCode, targetCode));
    std::u16string page = DecodeUtf8(ctx.codePage, res.body);
    // Let queued input and timers run once before the caller goes on.
    ctx.loop.Yield();
    return page;
}

}  // namespace velmora::translate
