#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::translate::engines {

// Why one engine did not translate one piece. The router decides from the kind whether the
// next engine gets the piece.
enum class FailureKind {
    Unsupported,         // the engine has no code for the pair; never attempted
    Transport,           // refused, unreachable, timed out, body too large, pipeline died or hung
    RateLimited,         // 429: slow down (Retry-After honoured)
    QuotaExceeded,       // 456: quota used up (Retry-After honoured)
    ServerError,         // 5xx
    BadKey,              // 401/403
    BadRequest,          // any other 4xx
    NoTranslation,       // an answer that holds no translation
    SkippedBackoff,      // skipped: the engine asked us to wait and the wait has not passed
    SkippedUnreachable,  // skipped: it failed at the transport in this text or a little before
};

struct EngineFailure {
    FailureKind kind = FailureKind::Transport;
    // Short English text for the user; never a key, never a whole answer body.
    std::string detail;
    // From a Retry-After header, when the answer had one.
    std::optional<int> retryAfterSeconds;
};

// One piece's outcome from one engine: the translation, or why not.
struct PieceResult {
    std::optional<std::u16string> text;
    EngineFailure failure;  // meaningful only when text is empty
    static PieceResult Ok(std::u16string t) { return {std::move(t), {}}; }
    static PieceResult Fail(FailureKind k, std::string detail,
                            std::optional<int> retryAfter = std::nullopt) {
        return {std::nullopt, {k, std::move(detail), retryAfter}};
    }
};

// One translation engine. Language codes are the language table's keys ("zh-CN", "en", ...);
// each engine maps them to its own. An engine translates one piece at a time; segmentation
// happens before it. Never throws.
class IEngine {
  public:
    virtual ~IEngine() = default;
    // The name used in the configuration ("apertium", "form", "deepl", ...).
    virtual std::string_view Name() const = 0;
    // Whether the engine can translate src to dst at all (no network is used to decide beyond
    // what the engine caches once per run).
    virtual bool Supports(const std::string& src, const std::string& dst) = 0;
    virtual PieceResult TranslatePiece(std::u16string_view piece, const std::string& src,
                                       const std::string& dst) = 0;
};

}  // namespace velmora::translate::engines
