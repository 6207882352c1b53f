#include "translate/mduTranslate.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "translate/FailureWords.h"

namespace velmora::translate {

namespace {

void ReplaceAll(std::u16string& s, std::u16string_view from, std::u16string_view to) {
    std::size_t pos = s.find(from);
    if (pos == std::u16string::npos) return;
    std::u16string out;
    out.reserve(s.size());
    std::size_t last = 0;
    for (; pos != std::u16string::npos; pos = s.find(from, last)) {
        out.append(s, last, pos - last);
        out.append(to);
        last = pos + from.size();
    }
    out.append(s, last, std::u16string::npos);
    s = std::move(out);
}

std::u16string TranslatePieces(const TranslateContext& ctx,
                               const std::vector<std::u16string>& pieces,
                               const std::string& sourceCode, const std::string& targetCode) {
    std::u16string result;
    for (const auto& piece : pieces) {
        try {
            result += TranslatePiece(ctx, piece, sourceCode, targetCode);
        } catch (...) {
            // A failed piece adds nothing; the next one is still tried.
        }
    }
    return DecodeTranslationText(std::move(result));
}

}  // namespace

SegmentMode ModeForSource(const std::string& sourceCode) {
    return sourceCode == "zh-CN" ? SegmentMode::Chinese : SegmentMode::Western;
}

std::optional<std::u16string> ExtractTranslation(std::u16string_view page) {
    const std::size_t p = page.find(kResultMarker);
    if (p == std::u16string_view::npos) return std::nullopt;
    const std::u16string_view rest = page.substr(p + kResultMarker.size());
    const std::size_t q = rest.find(u'<');
    if (q == std::u16string_view::npos) return std::nullopt;
    return std::u16string(rest.substr(0, q));
}

std::u16string DecodeTranslationText(std::u16string text) {
    ReplaceAll(text, u"&lt;", u"<");
    ReplaceAll(text, u"&gt;", u">");
    ReplaceAll(text, u"&#39;", u"'");
    ReplaceAll(text, u"&quot;", u"\"");
    ReplaceAll(text, u"\r", u"\r\n");
    return text;
}

std::u16string TranslatePiece(const TranslateContext& ctx, std::u16string_view piece,
                              const std::string& sourceCode, const std::string& targetCode) {
    const std::u16string page = RequestTranslation(ctx, piece, sourceCode, targetCode);
    auto translation = ExtractTranslation(page);
    if (!translation) throw TranslateError("the answer page holds no translation");
    return std::move(*translation);
}

std::u16string TranslateText(const TranslateContext& ctx, std::u16string_view text,
                             const std::string& sourceCode, const std::string& targetCode) {
    if (text.empty()) return {};
    try {
        return TranslatePieces(ctx, SegmentText(text, ModeForSource(sourceCode), ctx.codePage),
                               sourceCode, targetCode);
    } catch (...) {
        return {};
    }
}

bool TranslationOutcome::NoEngineForPair() const {
    if (complete || pieces.empty()) return false;
    for (const auto& p : pieces)
        if (!p.engine.empty() || !p.failures.empty()) return false;
    return true;
}

namespace {

// The pieces no engine translated, and up to four distinct causes in the order first seen.
struct Causes {
    std::size_t missing = 0;
    std::vector<std::string> list;
};
Causes CausesOf(
    const std::vector<PieceReport>& pieces, const std::string& noEngine,
    const std::function<std::string(const std::string&, const engines::EngineFailure&)>& cause) {
    Causes out;
    auto note = [&](std::string c) {
        if (out.list.size() < 4 && std::find(out.list.begin(), out.list.end(), c) == out.list.end())
            out.list.push_back(std::move(c));
    };
    for (const auto& p : pieces) {
        if (!p.engine.empty()) continue;
        ++out.missing;
        if (p.failures.empty()) note(noEngine);
        for (const auto& [engine, failure] : p.failures) note(cause(engine, failure));
    }
    return out;
}

}  // namespace

std::string TranslationOutcome::Reason() const {
    if (complete) return {};
    const Causes c = CausesOf(pieces, "no engine offers this language pair",
                              [](const std::string& engine, const engines::EngineFailure& f) {
                                  return engine + ": " + f.detail;
                              });
    std::string out = "翻译不完整";
    if (!pieces.empty())
        out +=
            " (" + std::to_string(c.missing) + "/" + std::to_string(pieces.size()) + " 段未翻译)";
    for (std::size_t i = 0; i < c.list.size(); ++i) out += (i ? "; " : ": ") + c.list[i];
    return out;
}

std::string TranslationOutcome::ReasonForUser() const {
    if (complete) return {};
    const Causes c =
        CausesOf(pieces, "没有能翻译这一语言对的引擎",
                 [](const std::string& engine, const engines::EngineFailure& f) {
                     return std::string(EngineDisplayName(engine)) + "：" + FailureWords(f);
                 });
    std::string out = "翻译不完整";
    if (!pieces.empty())
        out += "（" + std::to_string(pieces.size()) + " 段中有 " + std::to_string(c.missing) +
               " 段未译出）";
    for (std::size_t i = 0; i < c.list.size(); ++i) out += (i ? "；" : "：") + c.list[i];
    return out;
}

TranslationOutcome ITranslator::Translate(const std::u16string& text, const std::string& src,
                                          const std::string& dst) {
    TranslationOutcome out;
    out.text = TranslateText(text, src, dst);
    out.complete = text.empty() || !out.text.empty();
    return out;
}

HttpTranslator::HttpTranslator(TranslateContext ctx)
    : ctx_(std::move(ctx)), widths_(std::make_shared<AnsiWidthTable>(ctx_.codePage)) {}

std::u16string HttpTranslator::TranslateText(const std::u16string& text, const std::string& src,
                                             const std::string& dst) {
    if (text.empty()) return {};
    try {
        return TranslatePieces(ctx_, SegmentText(text, ModeForSource(src), *widths_), src, dst);
    } catch (...) {
        return {};
    }
}

}  // namespace velmora::translate
