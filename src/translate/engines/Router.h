#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/IClock.h"
#include "translate/engines/CircuitBreaker.h"
#include "translate/engines/IEngine.h"
#include "translate/mduTranslate.h"

namespace velmora::translate::engines {

// One piece through the router: the translation, if any engine gave one, and the report.
struct RoutedPiece {
    std::optional<std::u16string> text;
    PieceReport report;
};

// What the router learnt during one text: an engine that failed at the transport on one piece
// is not asked for the text's other pieces, however long they take.
class TextRun {
  private:
    friend class Router;
    std::vector<const IEngine*> unreachable_;
};

// Tries engines in their configured order. For each piece the first engine that supports the
// pair translates it; whatever way it fails, the next supporting engine gets the same piece.
// An engine that answered 429 or 456 is passed over for its Retry-After seconds (60 without
// one). An engine that failed at the transport is passed over for the rest of the text and for
// its circuit breaker's time. Engines that do not support the pair are neither tried nor
// reported. Waits are measured on the steady clock.
class Router {
  public:
    static constexpr int kDefaultBackoffSeconds = 60;
    // Receives one line when an engine is taken out of use or answers again.
    using LogSink = std::function<void(const std::string&)>;

    // The engines and the clock must outlive the router.
    Router(std::vector<IEngine*> engines, platform::IClock& clock, LogSink log = {});

    // A piece of the text that run stands for.
    RoutedPiece Translate(std::u16string_view piece, const std::string& src, const std::string& dst,
                          TextRun& run);
    // A piece that is a whole text.
    RoutedPiece Translate(std::u16string_view piece, const std::string& src,
                          const std::string& dst);

    const std::vector<IEngine*>& engines() const { return engines_; }

  private:
    // Why engine i is passed over now, if it is.
    std::optional<EngineFailure> Skip(std::size_t i, const TextRun& run) const;
    void Record(std::size_t i, const PieceResult& r, TextRun& run);
    void Log(const std::string& line) const;

    std::vector<IEngine*> engines_;
    std::vector<std::int64_t> blockedUntilMs_;  // per engine, on the steady clock; 0 when free
    std::vector<CircuitBreaker> breakers_;      // per engine
    platform::IClock& clock_;
    LogSink log_;
};

}  // namespace velmora::translate::engines
