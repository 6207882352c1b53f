#include "translate/engines/EngineTranslator.h"

namespace velmora::translate {

EngineTranslator::EngineTranslator(engines::Router& router, const platform::ICodePage& codePage,
                                   const platform::IEventLoop* loop)
    : router_(router), loop_(loop), widths_(std::make_shared<AnsiWidthTable>(codePage)) {}

std::u16string EngineTranslator::TranslateText(const std::u16string& text, const std::string& src,
                                               const std::string& dst) {
    return Translate(text, src, dst).text;
}

TranslationOutcome EngineTranslator::Translate(const std::u16string& text, const std::string& src,
                                               const std::string& dst) {
    TranslationOutcome out;
    if (text.empty()) return out;
    try {
        engines::TextRun run;
        for (const auto& piece : SegmentText(text, ModeForSource(src), *widths_)) {
            if (loop_ && loop_->CancelRequested()) throw platform::Cancelled();
            engines::RoutedPiece routed = router_.Translate(piece, src, dst, run);
            if (routed.text) {
                out.text += *routed.text;
            } else {
                out.complete = false;  // a failed piece adds nothing; the next is still tried
            }
            out.pieces.push_back(std::move(routed.report));
        }
    } catch (const platform::Cancelled&) {
        out.complete = false;
        out.cancelled = true;
    } catch (...) {
        out.complete = false;
    }
    return out;
}

}  // namespace velmora::translate
