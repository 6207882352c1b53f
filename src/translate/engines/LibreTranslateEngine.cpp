#include "translate/engines/LibreTranslateEngine.h"

#include <algorithm>

#include "platform/IEventLoop.h"
#include "translate/clsGoogleLanguages.h"
#include "translate/engines/HttpExchange.h"
#include "translate/engines/JsonAnswer.h"
#include "translate/engines/JsonTranslation.h"
#include "translate/engines/Redaction.h"
#include "translate/engines/UrlParts.h"

namespace velmora::translate::engines {

std::vector<std::string> LibreCandidates(const std::string& tableCode) {
    const auto& entries = clsGoogleLanguages::Shared().entries();
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const LanguageEntry& e) { return e.key == tableCode; }))
        return {};
    if (tableCode == "zh-CN") return {"zh", "zh-Hans"};
    if (tableCode == "zh-TW") return {"zt", "zh-Hant"};
    if (tableCode == "no") return {"nb", "no"};
    return {tableCode};
}

std::optional<std::pair<std::string, std::string>> LibrePair(const std::string& src,
                                                             const std::string& dst,
                                                             const LibreLanguages* languages) {
    if (src == dst) return std::nullopt;
    const auto from = LibreCandidates(src);
    const auto to = LibreCandidates(dst);
    if (from.empty() || to.empty()) return std::nullopt;
    if (!languages) return std::pair{from.front(), to.front()};
    for (const auto& f : from) {
        auto it = languages->find(f);
        if (it == languages->end()) continue;
        for (const auto& t : to) {
            if (it->second.count(t)) return std::pair{f, t};
        }
    }
    return std::nullopt;
}

platform::HttpRequest BuildLibreTranslateRequest(const HttpEngineSettings& settings,
                                                 const std::string& utf8Text,
                                                 const std::string& source,
                                                 const std::string& target) {
    json::Json body = {{"q", utf8Text}, {"source", source}, {"target", target}, {"format", "text"}};
    if (!settings.key.empty()) body["api_key"] = settings.key;
    platform::HttpRequest r;
    r.method = "POST";
    r.url = settings.url;
    r.headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}};
    r.body = json::Dump(body);
    return r;
}

PieceResult ParseLibreTranslateAnswer(const platform::HttpResponse& res,
                                      const platform::ICodePage& codePage, std::string_view key) {
    const auto doc = json::Parse(res.body);
    const json::Json* root = doc ? &*doc : nullptr;
    if (res.status >= 200 && res.status <= 299) {
        return TranslationAt(root, json::Member(root, "translatedText"), codePage,
                             "answer without translatedText");
    }
    const auto message = json::String(json::Member(root, "error"));
    return FailureForStatus(res, ServerText(message.value_or(""), key));
}

std::optional<LibreLanguages> ParseLibreLanguages(const platform::HttpResponse& res) {
    if (res.status != 200) return std::nullopt;
    const auto doc = json::Parse(res.body);
    if (!doc || !doc->is_array()) return std::nullopt;
    LibreLanguages out;
    std::set<std::string> all;
    for (const auto& entry : *doc) {
        if (auto code = json::String(json::Member(&entry, "code"))) all.insert(*code);
    }
    for (const auto& entry : *doc) {
        auto code = json::String(json::Member(&entry, "code"));
        if (!code) continue;
        const json::Json* targets = json::Member(&entry, "targets");
        std::set<std::string>& to = out[*code];
        if (targets && targets->is_array()) {
            for (const auto& t : *targets) {
                if (t.is_string()) to.insert(t.get<std::string>());
            }
        } else {
            to = all;  // older servers list no targets: every language goes to every other
        }
        to.erase(*code);
    }
    if (out.empty()) return std::nullopt;
    return out;
}

const LibreLanguages* LibreTranslateEngine::Languages() {
    if (!asked_) {
        asked_ = true;
        platform::HttpRequest r;
        r.url = BaseOf(settings_.url, "/translate") + "/languages";
        r.headers = {{"Accept", "application/json"}};
        try {
            languages_ = ParseLibreLanguages(http_.Send(r));
        } catch (const platform::Cancelled&) {
            asked_ = false;  // asked again with the next text
            throw;
        } catch (...) {
            languages_.reset();  // no list: the usual codes are assumed
        }
    }
    return languages_ ? &*languages_ : nullptr;
}

bool LibreTranslateEngine::Supports(const std::string& src, const std::string& dst) {
    return LibrePair(src, dst, Languages()).has_value();
}

PieceResult LibreTranslateEngine::TranslatePiece(std::u16string_view piece, const std::string& src,
                                                 const std::string& dst) {
    const auto pair = LibrePair(src, dst, Languages());
    if (!pair) return PieceResult::Fail(FailureKind::Unsupported, "language pair not offered");
    const auto request =
        BuildLibreTranslateRequest(settings_, codePage_.ToUtf8(piece), pair->first, pair->second);
    return Exchange(
        http_, request,
        [this](const platform::HttpResponse& res) {
            return ParseLibreTranslateAnswer(res, codePage_, settings_.key);
        },
        settings_.key);
}

}  // namespace velmora::translate::engines
