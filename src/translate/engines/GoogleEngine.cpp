#include "translate/engines/GoogleEngine.h"

#include <vector>

#include "translate/clsGoogleLanguages.h"
#include "translate/engines/HttpExchange.h"
#include "translate/engines/HttpHeaders.h"
#include "translate/engines/JsonAnswer.h"
#include "translate/engines/JsonTranslation.h"
#include "translate/engines/Redaction.h"

namespace velmora::translate::engines {

namespace {

// Every "reason" in error.errors[] and error.details[].
std::vector<std::string> Reasons(const json::Json* error) {
    std::vector<std::string> out;
    for (const char* list : {"errors", "details"}) {
        const json::Json* items = json::Member(error, list);
        if (!items || !items->is_array()) continue;
        for (const auto& item : *items) {
            if (auto r = json::String(json::Member(&item, "reason"))) out.push_back(*r);
        }
    }
    return out;
}

bool Has(const std::vector<std::string>& reasons, std::initializer_list<std::string_view> any) {
    for (const auto& r : reasons) {
        for (auto a : any) {
            if (r == a) return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> GoogleCode(const std::string& tableCode) {
    for (const auto& e : clsGoogleLanguages::Shared().entries()) {
        if (e.key == tableCode) return tableCode;
    }
    return std::nullopt;
}

platform::HttpRequest BuildGoogleRequest(const HttpEngineSettings& settings,
                                         const std::string& utf8Text, const std::string& source,
                                         const std::string& target) {
    const json::Json body = {
        {"q", utf8Text}, {"source", source}, {"target", target}, {"format", "text"}};
    platform::HttpRequest r;
    r.method = "POST";
    r.url = settings.url.empty() ? std::string(kGoogleDefaultUrl) : settings.url;
    // In a header, not the query, where proxies and server logs would keep it.
    r.headers = {{"Content-Type", "application/json"}, {"X-goog-api-key", settings.key}};
    r.body = json::Dump(body);
    return r;
}

PieceResult ParseGoogleAnswer(const platform::HttpResponse& res,
                              const platform::ICodePage& codePage, std::string_view key) {
    const auto doc = json::Parse(res.body);
    const json::Json* root = doc ? &*doc : nullptr;
    if (res.status >= 200 && res.status <= 299) {
        const auto* first =
            json::Element(json::Member(json::Member(root, "data"), "translations"), 0);
        return TranslationAt(root, json::Member(first, "translatedText"), codePage,
                             "answer without translations");
    }
    const json::Json* error = json::Member(root, "error");
    const std::string message = ErrorMessage(error, key);
    const auto reasons = Reasons(error);
    const auto detail = [&](std::string text) {
        return message.empty() ? text : text + ": " + message;
    };
    const std::string status = " (HTTP " + std::to_string(res.status) + ")";
    if (Has(reasons, {"keyInvalid", "API_KEY_INVALID", "keyExpired", "API_KEY_EXPIRED"}))
        return PieceResult::Fail(FailureKind::BadKey, detail("key refused" + status));
    if (Has(reasons, {"rateLimitExceeded", "userRateLimitExceeded", "RATE_LIMIT_EXCEEDED"}))
        return PieceResult::Fail(FailureKind::RateLimited, detail("too many requests" + status),
                                 ParseRetryAfter(res.headers));
    if (Has(reasons, {"dailyLimitExceeded", "quotaExceeded", "RESOURCE_EXHAUSTED"}))
        return PieceResult::Fail(FailureKind::QuotaExceeded, detail("quota used up" + status),
                                 ParseRetryAfter(res.headers));
    return FailureForStatus(res, message);
}

}  // namespace velmora::translate::engines
