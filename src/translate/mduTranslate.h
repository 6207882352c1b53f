#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "translate/engines/IEngine.h"
#include "translate/mduTranBuilder.h"
#include "translate/mduTranHttpProtol.h"

namespace velmora::translate {

// The 29 characters that precede the translation in an answer page.
inline constexpr std::u16string_view kResultMarker = u"<div id=result_box dir=\"ltr\">";

// A piece whose answer holds no translation.
class TranslateError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "zh-CN" exactly splits on "。"; every other source language on ".".
SegmentMode ModeForSource(const std::string& sourceCode);

// The translation in a page: after the first result marker, up to the next "<". Empty optional
// when the page has no marker or no "<" after it.
std::optional<std::u16string> ExtractTranslation(std::u16string_view page);

// "&lt;", "&gt;", "&#39;", "&quot;" replaced in that order, then every CR becomes CR LF.
std::u16string DecodeTranslationText(std::u16string text);

// One exchange and the cut. Throws platform::HttpError or TranslateError.
std::u16string TranslatePiece(const TranslateContext& ctx, std::u16string_view piece,
                              const std::string& sourceCode, const std::string& targetCode);

// Splits, translates the pieces one after another and joins them. Never throws: a failed
// piece adds nothing, and the result is empty when nothing could be translated.
std::u16string TranslateText(const TranslateContext& ctx, std::u16string_view text,
                             const std::string& sourceCode, const std::string& targetCode);

// How one piece went: the engine that translated it (empty when none did) and, in order, why
// each engine tried before it failed.
struct PieceReport {
    std::string engine;
    std::vector<std::pair<std::string, engines::EngineFailure>> failures;
};

// A whole text's translation: the joined pieces, whether every piece was translated, and each
// piece's report (empty for translators that do not route pieces).
struct TranslationOutcome {
    std::u16string text;
    bool complete = true;
    std::vector<PieceReport> pieces;
    // Both languages were the same: the text is passed on as it is, no engine asked.
    bool sameLanguage = false;
    // The user abandoned it; nothing of it is to be used.
    bool cancelled = false;
    // Not complete, and no engine configured offers the language pair at all.
    bool NoEngineForPair() const;
    // Why the outcome is not complete, short and in UTF-8 (Chinese first, the engines' English
    // details after); empty when complete. Never holds a key: details never do. For logs.
    std::string Reason() const;
    // The same for the user: in Chinese, engines by their names, failures in words; no address
    // and nothing a server said.
    std::string ReasonForUser() const;
};

// What callers outside the translation client depend on.
class ITranslator {
  public:
    virtual ~ITranslator() = default;
    virtual std::u16string TranslateText(const std::u16string& text, const std::string& src,
                                         const std::string& dst) = 0;
    // The translation with its outcome. By default TranslateText's result, complete when the
    // text is empty or the result is not.
    virtual TranslationOutcome Translate(const std::u16string& text, const std::string& src,
                                         const std::string& dst);
};

// ITranslator over the HTTP exchange; keeps the width table so every call segments fast.
class HttpTranslator : public ITranslator {
  public:
    explicit HttpTranslator(TranslateContext ctx);
    std::u16string TranslateText(const std::u16string& text, const std::string& src,
                                 const std::string& dst) override;
    const TranslateContext& context() const { return ctx_; }

  private:
    TranslateContext ctx_;
    std::shared_ptr<const AnsiWidthTable> widths_;
};

}  // namespace velmora::translate
