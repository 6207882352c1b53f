#include "translate/engines/JsonTranslation.h"

#include "translate/engines/Redaction.h"

namespace velmora::translate::engines {

PieceResult TranslationAt(const json::Json* root, const json::Json* text,
                          const platform::ICodePage& codePage, const std::string& missing) {
    if (!root) return PieceResult::Fail(FailureKind::NoTranslation, "answer is not JSON");
    const auto utf8 = json::String(text);
    if (!utf8) return PieceResult::Fail(FailureKind::NoTranslation, missing);
    return PieceResult::Ok(codePage.FromUtf8(*utf8));
}

std::string ErrorMessage(const json::Json* error, std::string_view key) {
    return ServerText(json::String(json::Member(error, "message")).value_or(""), key);
}

}  // namespace velmora::translate::engines
