#include "translate/engines/FormEngine.h"

#include "translate/clsGoogleLanguages.h"
#include "translate/engines/HttpExchange.h"
#include "translate/mduTranslate.h"

namespace velmora::translate::engines {

namespace {

bool InTable(const std::string& code) {
    for (const auto& e : clsGoogleLanguages::Shared().entries()) {
        if (e.key == code) return true;
    }
    return false;
}

}  // namespace

PieceResult ParseFormAnswer(const platform::HttpResponse& res,
                            const platform::ICodePage& codePage) {
    // The page is read whatever its status, as the form exchange always did.
    if (auto text = ExtractTranslation(DecodeUtf8(codePage, res.body)))
        return PieceResult::Ok(DecodeTranslationText(std::move(*text)));
    if (res.status >= 200 && res.status <= 299)
        return PieceResult::Fail(FailureKind::NoTranslation,
                                 "the answer page holds no translation");
    return FailureForStatus(res, "");
}

bool FormEngine::Supports(const std::string& src, const std::string& dst) {
    return InTable(src) && InTable(dst);
}

PieceResult FormEngine::TranslatePiece(std::u16string_view piece, const std::string& src,
                                       const std::string& dst) {
    const platform::HttpRequest request = BuildTranslationRequest(ctx_, piece, src, dst);
    PieceResult result = Exchange(
        ctx_.http, request,
        [this](const platform::HttpResponse& res) { return ParseFormAnswer(res, ctx_.codePage); },
        {});
    // Let queued input and timers run once before the caller goes on.
    ctx_.loop.Yield();
    return result;
}

}  // namespace velmora::translate::engines
