#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/IClock.h"
#include "translate/engines/IEngine.h"
#include "translate/mduTranslate.h"

namespace velmora::translate::engines {

// One piece through the router: the translation, if any engine gave one, and the report.
struct RoutedPiece {
    std::optional<std::u16string> text;
    PieceReport report;
};

// Tries engines in their configured order. For each piece the first engine that supports the
// pair translates it; whatever way it fails, the next supporting engine gets the same piece.
// An engine that answered 429 or 456 is passed over for its Retry-After seconds (60 without
// one). Engines that do not support the pair are neither tried nor reported.
class Router {
  public:
    static constexpr int kDefaultBackoffSeconds = 60;

    // The engines and the clock must outlive the router.
    Router(std::vector<IEngine*> engines, platform::IClock& clock);

    RoutedPiece Translate(std::u16string_view piece, const std::string& src,
                          const std::string& dst);

    const std::vector<IEngine*>& engines() const { return engines_; }

  private:
    std::vector<IEngine*> engines_;
    std::vector<std::int64_t> blockedUntilMs_;  // per engine; 0 when free
    platform::IClock& clock_;
};

}  // namespace velmora::translate::engines
