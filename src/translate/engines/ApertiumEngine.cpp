#include "translate/engines/ApertiumEngine.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/Utf8.h"
#include "translate/engines/ApertiumCodes.h"

namespace velmora::translate::engines {

namespace {

using platform::PipeStatus;
using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<long long>(left.count(), 0));
}

std::string Describe(PipeStatus s) {
    switch (s) {
        case PipeStatus::TimedOut:
            return "timed out";
        case PipeStatus::Closed:
            return "ended unexpectedly";
        case PipeStatus::TooLarge:
            return "wrote too much output";
        case PipeStatus::NotRunning:
            return "is not running";
        case PipeStatus::Ok:
            break;
    }
    return "failed";
}

class BusyFlag {
  public:
    explicit BusyFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyFlag() { flag_ = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

  private:
    bool& flag_;
};

// True when the chain ends within a short bound (or the deadline, if sooner).
bool EndsSoon(platform::IPipeline& pipe, SteadyClock::time_point deadline) {
    const auto end = std::min(deadline, SteadyClock::now() + std::chrono::milliseconds(500));
    while (pipe.Alive()) {
        if (SteadyClock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

ApertiumEngine::ApertiumEngine(platform::IProgramRunner& runner, ApertiumOptions options)
    : runner_(runner), options_(std::move(options)) {}

std::optional<ApertiumEngine::Found> ApertiumEngine::FindMode(const std::string& src,
                                                              const std::string& dst) {
    if (!modes_) modes_ = DiscoverModes(options_.modeFolders, ApertiumCode);
    auto s = ApertiumCode(src);
    auto d = ApertiumCode(dst);
    if (!s || !d) return std::nullopt;
    std::string key = *s + "-" + *d;
    auto it = modes_->find(key);
    if (it == modes_->end()) return std::nullopt;
    return Found{std::move(key), &it->second};
}

bool ApertiumEngine::Supports(const std::string& src, const std::string& dst) {
    return FindMode(src, dst).has_value();
}

std::optional<std::string> ApertiumEngine::RunFilter(const platform::Argv& argv,
                                                     const std::string& input, Deadline deadline,
                                                     std::string& failure) {
    auto r = runner_.Run(argv, input, MsLeft(deadline), options_.maxOutputBytes);
    if (r.status != PipeStatus::Ok) {
        failure = argv.front() + " " + (r.error.empty() ? Describe(r.status) : r.error);
        return std::nullopt;
    }
    if (r.exitCode != 0) {
        failure = argv.front() + " exited with code " + std::to_string(r.exitCode);
        return std::nullopt;
    }
    return std::move(r.output);
}

std::optional<std::string> ApertiumEngine::Exchange(const Found& found, const std::string& input,
                                                    Deadline deadline, std::string& failure) {
    auto& pipe = pipelines_[found.key];
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool warm = pipe && pipe->Alive();
        if (!warm) {
            if (!pipe) pipe = runner_.NewPipeline();
            std::string error;
            if (!pipe->Start(NullFlushCommands(found.mode->commands, options_.markUnknown),
                             error)) {
                failure = "cannot start the " + found.mode->name + " pipeline: " + error;
                return std::nullopt;
            }
        }
        PipeStatus w = pipe->Write(input, MsLeft(deadline));
        platform::PipeRead r{w, {}};
        if (w == PipeStatus::Ok)
            r = pipe->ReadUntil('\0', MsLeft(deadline), options_.maxOutputBytes);
        if (r.status == PipeStatus::Ok) {
            // A program of a kept chain that died just before this piece makes the ones after
            // it flush and end: an empty answer to a piece with text is then that flush, not a
            // translation. The chain's end shows within moments; a real answer keeps it alive.
            if (!(warm && r.bytes.empty() && input.size() > 1 && EndsSoon(*pipe, deadline)))
                return std::move(r.bytes);
            r.status = PipeStatus::Closed;
        }
        // A hung or confused pipeline is never reused: the next piece gets a fresh one.
        pipe->Kill();
        // A kept pipeline that turns out to have died gets one fresh start; a timeout does not.
        if (r.status == PipeStatus::Closed && warm && MsLeft(deadline) > 0) continue;
        failure = "the " + found.mode->name + " pipeline " + Describe(r.status);
        return std::nullopt;
    }
    failure = "the " + found.mode->name + " pipeline ended unexpectedly";
    return std::nullopt;
}

PieceResult ApertiumEngine::TranslatePiece(std::u16string_view piece, const std::string& src,
                                           const std::string& dst) {
    auto found = FindMode(src, dst);
    if (!found) {
        return PieceResult::Fail(FailureKind::Unsupported,
                                 "Apertium has no installed pair for " + src + " to " + dst);
    }
    if (busy_) return PieceResult::Fail(FailureKind::Transport, "Apertium is busy");
    BusyFlag busy(busy_);
    const Deadline deadline =
        SteadyClock::now() + std::chrono::milliseconds(options_.pieceTimeoutMs);

    std::string failure;
    auto deformatted =
        RunFilter(options_.deformatter, platform::Utf8Encode(piece), deadline, failure);
    if (!deformatted) return PieceResult::Fail(FailureKind::Transport, failure);
    // NUL ends a piece on the pipe; the deformatter drops it already, this makes sure.
    std::erase(*deformatted, '\0');
    deformatted->push_back('\0');

    auto translated = Exchange(*found, *deformatted, deadline, failure);
    if (!translated) return PieceResult::Fail(FailureKind::Transport, failure);
    auto reformatted = RunFilter(options_.reformatter, *translated, deadline, failure);
    if (!reformatted) return PieceResult::Fail(FailureKind::Transport, failure);
    return PieceResult::Ok(platform::Utf8Decode(*reformatted));
}

}  // namespace velmora::translate::engines
