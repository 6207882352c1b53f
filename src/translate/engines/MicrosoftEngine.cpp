#include "translate/engines/MicrosoftEngine.h"

#include "translate/clsGoogleLanguages.h"
#include "translate/engines/HttpExchange.h"
#include "translate/engines/HttpHeaders.h"
#include "translate/engines/JsonAnswer.h"
#include "translate/engines/JsonTranslation.h"
#include "translate/engines/Redaction.h"
#include "translate/engines/UrlParts.h"

namespace velmora::translate::engines {

std::optional<std::string> MicrosoftCode(const std::string& tableCode) {
    if (tableCode == "zh-CN") return "zh-Hans";
    if (tableCode == "zh-TW") return "zh-Hant";
    if (tableCode == "no") return "nb";
    if (tableCode == "tl") return "fil";
    if (tableCode == "sr") return "sr-Cyrl";
    for (const auto& e : clsGoogleLanguages::Shared().entries()) {
        if (e.key == tableCode) return tableCode;
    }
    return std::nullopt;
}

platform::HttpRequest BuildMicrosoftRequest(const HttpEngineSettings& settings,
                                            const std::string& utf8Text, const std::string& source,
                                            const std::string& target) {
    const json::Json body = json::Json::array({{{"Text", utf8Text}}});
    platform::HttpRequest r;
    r.method = "POST";
    r.url =
        WithQuery(settings.url.empty() ? kMicrosoftDefaultUrl : settings.url,
                  "api-version=3.0&from=" + PercentEncode(source) + "&to=" + PercentEncode(target));
    r.headers = {{"Ocp-Apim-Subscription-Key", settings.key}};
    if (!settings.region.empty())
        r.headers.emplace_back("Ocp-Apim-Subscription-Region", settings.region);
    r.headers.emplace_back("Content-Type", "application/json");
    r.body = json::Dump(body);
    return r;
}

PieceResult ParseMicrosoftAnswer(const platform::HttpResponse& res,
                                 const platform::ICodePage& codePage, std::string_view key) {
    const auto doc = json::Parse(res.body);
    const json::Json* root = doc ? &*doc : nullptr;
    if (res.status >= 200 && res.status <= 299) {
        const auto* first = json::Element(json::Member(json::Element(root, 0), "translations"), 0);
        return TranslationAt(root, json::Member(first, "text"), codePage,
                             "answer without translations");
    }
    const json::Json* error = json::Member(root, "error");
    const std::string message = ErrorMessage(error, key);
    if (json::Integer(json::Member(error, "code")) == 403001) {
        std::string detail = "quota used up (HTTP " + std::to_string(res.status) + ")";
        if (!message.empty()) detail += ": " + message;
        return PieceResult::Fail(FailureKind::QuotaExceeded, detail, ParseRetryAfter(res.headers));
    }
    return FailureForStatus(res, message);
}

}  // namespace velmora::translate::engines
