#include "translate/engines/DeeplEngine.h"

#include <array>
#include <utility>

#include "translate/engines/HttpExchange.h"
#include "translate/engines/JsonAnswer.h"
#include "translate/engines/JsonTranslation.h"
#include "translate/engines/Redaction.h"

namespace velmora::translate::engines {

namespace {

// The table's languages the service translates, with their source codes.
constexpr std::array<std::pair<std::string_view, std::string_view>, 25> kSource{{
    {"zh-CN", "ZH"}, {"zh-TW", "ZH"}, {"en", "EN"}, {"et", "ET"}, {"bg", "BG"},
    {"da", "DA"},    {"de", "DE"},    {"ru", "RU"}, {"fr", "FR"}, {"fi", "FI"},
    {"nl", "NL"},    {"cs", "CS"},    {"lt", "LT"}, {"ro", "RO"}, {"no", "NB"},
    {"pt", "PT"},    {"ja", "JA"},    {"sk", "SK"}, {"sl", "SL"}, {"uk", "UK"},
    {"es", "ES"},    {"el", "EL"},    {"hu", "HU"}, {"it", "IT"}, {"id", "ID"},
}};

std::optional<std::string> Lookup(const std::string& tableCode) {
    for (const auto& [table, code] : kSource) {
        if (table == tableCode) return std::string(code);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> DeeplSourceCode(const std::string& tableCode) {
    return Lookup(tableCode);
}

std::optional<std::string> DeeplTargetCode(const std::string& tableCode) {
    if (tableCode == "en") return "EN-US";
    if (tableCode == "pt") return "PT-PT";
    if (tableCode == "zh-CN") return "ZH-HANS";
    if (tableCode == "zh-TW") return "ZH-HANT";
    return Lookup(tableCode);
}

std::string DeeplUrl(const HttpEngineSettings& settings) {
    if (!settings.url.empty()) return settings.url;
    const std::string& k = settings.key;
    const bool free = k.size() >= 3 && k.compare(k.size() - 3, 3, ":fx") == 0;
    return free ? kDeeplFreeUrl : kDeeplProUrl;
}

platform::HttpRequest BuildDeeplRequest(const HttpEngineSettings& settings,
                                        const std::string& utf8Text, const std::string& source,
                                        const std::string& target) {
    const json::Json body = {
        {"text", json::Json::array({utf8Text})}, {"source_lang", source}, {"target_lang", target}};
    platform::HttpRequest r;
    r.method = "POST";
    r.url = DeeplUrl(settings);
    r.headers = {{"Authorization", "DeepL-Auth-Key " + settings.key},
                 {"Content-Type", "application/json"}};
    r.body = json::Dump(body);
    return r;
}

PieceResult ParseDeeplAnswer(const platform::HttpResponse& res, const platform::ICodePage& codePage,
                             std::string_view key) {
    const auto doc = json::Parse(res.body);
    const json::Json* root = doc ? &*doc : nullptr;
    if (res.status >= 200 && res.status <= 299) {
        const auto* first = json::Element(json::Member(root, "translations"), 0);
        return TranslationAt(root, json::Member(first, "text"), codePage,
                             "answer without translations");
    }
    const auto message = json::String(json::Member(root, "message"));
    return FailureForStatus(res, ServerText(message.value_or(""), key));
}

}  // namespace velmora::translate::engines
