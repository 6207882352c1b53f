#include "translate/engines/Router.h"

#include <algorithm>

namespace velmora::translate::engines {

Router::Router(std::vector<IEngine*> engines, platform::IClock& clock)
    : engines_(std::move(engines)), clock_(clock) {
    std::erase(engines_, nullptr);
    blockedUntilMs_.assign(engines_.size(), 0);
}

RoutedPiece Router::Translate(std::u16string_view piece, const std::string& src,
                              const std::string& dst) {
    RoutedPiece out;
    for (std::size_t i = 0; i < engines_.size(); ++i) {
        IEngine& engine = *engines_[i];
        if (!engine.Supports(src, dst)) continue;
        const std::string name(engine.Name());
        const std::int64_t now = clock_.NowMs();
        if (blockedUntilMs_[i] > now) {
            const auto wait = (blockedUntilMs_[i] - now + 999) / 1000;
            out.report.failures.emplace_back(
                name, EngineFailure{FailureKind::SkippedBackoff,
                                    "waiting " + std::to_string(wait) + " s as the server asked",
                                    std::nullopt});
            continue;
        }
        PieceResult r = engine.TranslatePiece(piece, src, dst);
        if (r.text) {
            out.text = std::move(r.text);
            out.report.engine = name;
            return out;
        }
        if (r.failure.kind == FailureKind::RateLimited ||
            r.failure.kind == FailureKind::QuotaExceeded) {
            const int seconds = r.failure.retryAfterSeconds.value_or(kDefaultBackoffSeconds);
            blockedUntilMs_[i] = clock_.NowMs() + std::int64_t{seconds} * 1000;
        }
        // An engine that found the pair unsupported after all was not really tried.
        if (r.failure.kind != FailureKind::Unsupported)
            out.report.failures.emplace_back(name, std::move(r.failure));
    }
    return out;
}

}  // namespace velmora::translate::engines
