#pragma once

#include <string>

#include "platform/IHttp.h"
#include "translate/engines/IEngine.h"
#include "translate/mduTranHttpProtol.h"

namespace velmora::translate::engines {

// The translation page of a form answer, decoded per piece: the translation after the result
// marker, else the failure its status gives (no translation for a marker-less page otherwise).
PieceResult ParseFormAnswer(const platform::HttpResponse& res, const platform::ICodePage& codePage);

// The HTML-form endpoint as an engine: the very request and extraction of TranslatePiece.
// Every code of the language table is offered.
class FormEngine : public IEngine {
  public:
    explicit FormEngine(TranslateContext ctx) : ctx_(std::move(ctx)) {}
    std::string_view Name() const override { return "form"; }
    bool Supports(const std::string& src, const std::string& dst) override;
    PieceResult TranslatePiece(std::u16string_view piece, const std::string& src,
                               const std::string& dst) override;

  private:
    TranslateContext ctx_;
};

}  // namespace velmora::translate::engines
