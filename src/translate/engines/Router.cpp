#include "translate/engines/Router.h"

#include <algorithm>

namespace velmora::translate::engines {

namespace {

// Fixed text, so a text whose pieces were skipped names the cause once.
constexpr char kUnreachable[] = "not asked: it failed at the transport a moment ago";

bool Answered(FailureKind kind) {
    return kind != FailureKind::Transport && kind != FailureKind::Unsupported &&
           kind != FailureKind::SkippedBackoff && kind != FailureKind::SkippedUnreachable;
}

}  // namespace

Router::Router(std::vector<IEngine*> engines, platform::IClock& clock, LogSink log)
    : engines_(std::move(engines)), clock_(clock), log_(std::move(log)) {
    std::erase(engines_, nullptr);
    blockedUntilMs_.assign(engines_.size(), 0);
    breakers_.resize(engines_.size());
}

RoutedPiece Router::Translate(std::u16string_view piece, const std::string& src,
                              const std::string& dst) {
    TextRun run;
    return Translate(piece, src, dst, run);
}

RoutedPiece Router::Translate(std::u16string_view piece, const std::string& src,
                              const std::string& dst, TextRun& run) {
    RoutedPiece out;
    for (std::size_t i = 0; i < engines_.size(); ++i) {
        IEngine& engine = *engines_[i];
        if (!engine.Supports(src, dst)) continue;
        const std::string name(engine.Name());
        if (auto skipped = Skip(i, run)) {
            out.report.failures.emplace_back(name, std::move(*skipped));
            continue;
        }
        PieceResult r = engine.TranslatePiece(piece, src, dst);
        Record(i, r, run);
        if (r.text) {
            out.text = std::move(r.text);
            out.report.engine = name;
            return out;
        }
        // An engine that found the pair unsupported after all was not really tried.
        if (r.failure.kind != FailureKind::Unsupported)
            out.report.failures.emplace_back(name, std::move(r.failure));
    }
    return out;
}

std::optional<EngineFailure> Router::Skip(std::size_t i, const TextRun& run) const {
    const std::int64_t now = clock_.SteadyMs();
    if (blockedUntilMs_[i] > now) {
        const auto wait = (blockedUntilMs_[i] - now + 999) / 1000;
        return EngineFailure{FailureKind::SkippedBackoff,
                             "waiting " + std::to_string(wait) + " s as the server asked",
                             std::nullopt};
    }
    if (breakers_[i].IsOpen(now) || std::ranges::count(run.unreachable_, engines_[i]) > 0)
        return EngineFailure{FailureKind::SkippedUnreachable, kUnreachable, std::nullopt};
    return std::nullopt;
}

void Router::Record(std::size_t i, const PieceResult& r, TextRun& run) {
    const std::string name(engines_[i]->Name());
    if (r.text || Answered(r.failure.kind)) {
        if (breakers_[i].Close()) Log("engine " + name + " answers again");
    }
    if (r.text) return;
    const FailureKind kind = r.failure.kind;
    if (kind == FailureKind::RateLimited || kind == FailureKind::QuotaExceeded) {
        const int seconds = r.failure.retryAfterSeconds.value_or(kDefaultBackoffSeconds);
        blockedUntilMs_[i] = clock_.SteadyMs() + std::int64_t{seconds} * 1000;
    } else if (kind == FailureKind::Transport) {
        run.unreachable_.push_back(engines_[i]);
        const std::int64_t openMs = breakers_[i].Trip(clock_.SteadyMs());
        Log("engine " + name + " not asked for " + std::to_string(openMs / 1000) +
            " s: " + r.failure.detail);
    }
}

void Router::Log(const std::string& line) const {
    if (log_) log_(line);
}

}  // namespace velmora::translate::engines
