#include "translate/engines/ApyEngine.h"

#include <algorithm>

#include "platform/IEventLoop.h"
#include "translate/engines/ApertiumCodes.h"
#include "translate/engines/HttpExchange.h"
#include "translate/engines/JsonAnswer.h"
#include "translate/engines/JsonTranslation.h"
#include "translate/engines/Redaction.h"
#include "translate/engines/UrlParts.h"

namespace velmora::translate::engines {

platform::HttpRequest BuildApyRequest(const HttpEngineSettings& settings,
                                      const std::string& utf8Text, const std::string& source,
                                      const std::string& target) {
    platform::HttpRequest r;
    r.method = "POST";
    r.url = settings.url;
    r.body =
        "langpair=" + source + "|" + target + "&q=" + PercentEncode(utf8Text) + "&markUnknown=no";
    r.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    return r;
}

PieceResult ParseApyAnswer(const platform::HttpResponse& res, const platform::ICodePage& codePage,
                           std::string_view key) {
    const auto doc = json::Parse(res.body);
    const json::Json* root = doc ? &*doc : nullptr;
    const bool httpOk = res.status >= 200 && res.status <= 299;
    if (httpOk && !root) return PieceResult::Fail(FailureKind::NoTranslation, "answer is not JSON");
    auto status = json::Integer(json::Member(root, "responseStatus"));
    if (!status) status = json::Integer(json::Member(root, "code"));
    if (httpOk && (!status || *status == 200)) {
        return TranslationAt(root,
                             json::Member(json::Member(root, "responseData"), "translatedText"),
                             codePage, "answer without translatedText");
    }
    auto message = json::String(json::Member(root, "explanation"));
    if (!message) message = json::String(json::Member(root, "responseDetails"));
    if (!message) message = json::String(json::Member(root, "message"));
    platform::HttpResponse effective(res.status, {}, res.headers);
    // A 200 answer that reports a failure inside is classed by the status it reports.
    if (httpOk) effective.status = static_cast<long>(std::clamp<long long>(*status, 0, 999));
    return FailureForStatus(effective, ServerText(message.value_or(""), key));
}

std::optional<ApyPairs> ParseApyPairs(const platform::HttpResponse& res) {
    if (res.status != 200) return std::nullopt;
    const auto doc = json::Parse(res.body);
    if (!doc) return std::nullopt;
    const json::Json* data = json::Member(&*doc, "responseData");
    if (!data || !data->is_array()) return std::nullopt;
    ApyPairs pairs;
    for (const auto& p : *data) {
        auto from = json::String(json::Member(&p, "sourceLanguage"));
        auto to = json::String(json::Member(&p, "targetLanguage"));
        if (from && to) pairs.emplace(*from, *to);
    }
    return pairs;
}

const ApyPairs* ApyEngine::Pairs() {
    if (!asked_) {
        asked_ = true;
        platform::HttpRequest r;
        r.url = BaseOf(settings_.url, "/translate") + "/listPairs";
        try {
            pairs_ = ParseApyPairs(http_.Send(r));
        } catch (const platform::Cancelled&) {
            asked_ = false;  // asked again with the next text
            throw;
        } catch (...) {
            pairs_.reset();
        }
    }
    return pairs_ ? &*pairs_ : nullptr;
}

bool ApyEngine::Supports(const std::string& src, const std::string& dst) {
    auto from = ApertiumCode(src);
    auto to = ApertiumCode(dst);
    if (!from || !to || *from == *to) return false;
    const ApyPairs* pairs = Pairs();
    return !pairs || pairs->count({*from, *to}) > 0;
}

PieceResult ApyEngine::TranslatePiece(std::u16string_view piece, const std::string& src,
                                      const std::string& dst) {
    if (!Supports(src, dst))
        return PieceResult::Fail(FailureKind::Unsupported, "language pair not offered");
    const auto request =
        BuildApyRequest(settings_, codePage_.ToUtf8(piece), *ApertiumCode(src), *ApertiumCode(dst));
    return Exchange(
        http_, request,
        [this](const platform::HttpResponse& res) {
            return ParseApyAnswer(res, codePage_, settings_.key);
        },
        settings_.key);
}

}  // namespace velmora::translate::engines
