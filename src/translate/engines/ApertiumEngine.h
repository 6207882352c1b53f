#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IPipeline.h"
#include "translate/engines/ApertiumModes.h"
#include "translate/engines/IEngine.h"

namespace velmora::translate::engines {

struct ApertiumOptions {
    // Where the mode files are, searched in order.
    std::vector<std::filesystem::path> modeFolders{"/usr/share/apertium/modes"};
    // Bound for one piece: deformatting, translating and reformatting together.
    int pieceTimeoutMs = 10000;
    // Whether unknown words keep their '*' mark (`apertium` without -u).
    bool markUnknown = false;
    platform::Argv deformatter{"apertium-destxt"};
    platform::Argv reformatter{"apertium-retxt"};
    // Output beyond this many bytes per step fails the piece.
    std::size_t maxOutputBytes = 4u << 20;
};

// The offline engine: the locally installed Apertium pairs. Each translation direction keeps
// one pipeline of the mode's programs running in null-flush mode, started on first use and
// started again when it has ended; a piece is the NUL-terminated text between two flushes.
// For one piece the result is what `apertium -u <mode>` prints for it.
//
// One piece at a time: a piece asked for while another is in flight (from an event handler
// run during the wait) fails at once instead of interleaving on the pipe.
class ApertiumEngine : public IEngine {
  public:
    explicit ApertiumEngine(platform::IProgramRunner& runner, ApertiumOptions options = {});
    std::string_view Name() const override { return "apertium"; }
    bool Supports(const std::string& src, const std::string& dst) override;
    PieceResult TranslatePiece(std::u16string_view piece, const std::string& src,
                               const std::string& dst) override;

  private:
    using Deadline = std::chrono::steady_clock::time_point;
    struct Found {
        std::string key;
        const ApertiumMode* mode = nullptr;
    };
    std::optional<Found> FindMode(const std::string& src, const std::string& dst);
    // One step through the mode's pipeline; the failure text when it did not work.
    std::optional<std::string> Exchange(const Found& found, const std::string& input,
                                        Deadline deadline, std::string& failure);
    std::optional<std::string> RunFilter(const platform::Argv& argv, const std::string& input,
                                         Deadline deadline, std::string& failure);

    platform::IProgramRunner& runner_;
    ApertiumOptions options_;
    std::optional<std::map<std::string, ApertiumMode>> modes_;
    std::map<std::string, std::unique_ptr<platform::IPipeline>> pipelines_;
    bool busy_ = false;
};

}  // namespace velmora::translate::engines
