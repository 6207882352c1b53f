#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <utility>

namespace velmora::relay {

// The relay's jobs: each drives the chat window (keys, clicks, clipboard), so two must never
// interleave.
enum class RelayJob { Send, InPlace, Capture };

// Runs the relay's jobs one at a time, in the order they came. A job asked for while another
// runs (from inside one of its waits) is queued: a send or an in-place press once each (a second
// would send the same text twice, or translate the translation), a capture not at all (the next
// tick reads again). The queue runs as soon as the running job has returned.
class RelayScheduler {
  public:
    using Run = std::function<void()>;

    // True when the job ran now; false when it was queued or dropped.
    bool Submit(RelayJob kind, Run run);
    bool Busy() const { return running_.has_value(); }
    std::optional<RelayJob> Running() const { return running_; }
    bool Queued(RelayJob kind) const;
    // Forgets the queued jobs (the window they act for is going away).
    void DropQueued() { queue_.clear(); }

  private:
    std::optional<RelayJob> running_;
    std::deque<std::pair<RelayJob, Run>> queue_;
};

}  // namespace velmora::relay
