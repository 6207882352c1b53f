#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <utility>

#include "platform/Async.h"

namespace velmora::relay {

// The relay's jobs: each drives the chat window (keys, clicks, clipboard), so two must never
// interleave.
enum class RelayJob { Send, InPlace, Capture };

// Runs the relay's jobs one at a time, in the order they came. A job suspends on the event loop
// while it waits; one asked for meanwhile is queued: a send or an in-place press once each (a
// second would send the same text twice, or translate the translation), a capture not at all
// (the next tick reads again). The next queued job starts when the running one has ended.
class RelayScheduler {
  public:
    using Job = platform::Task<>;
    using Make = std::function<Job()>;

    // The loop the jobs run on: its work run aside is given up and waited for when the
    // scheduler goes, before the objects that work uses go.
    explicit RelayScheduler(platform::IEventLoop& loop) : loop_(loop) {}
    RelayScheduler(const RelayScheduler&) = delete;
    RelayScheduler& operator=(const RelayScheduler&) = delete;
    // A job still suspended is abandoned: its waits are dropped and it never resumes.
    ~RelayScheduler();

    // True when the job started now; false when it was queued or dropped.
    bool Submit(RelayJob kind, Make make);
    bool Busy() const { return running_.has_value(); }
    std::optional<RelayJob> Running() const { return running_; }
    bool Queued(RelayJob kind) const;
    // Forgets the queued jobs (the window they act for is going away).
    void DropQueued() { queue_.clear(); }
    // Ends the running job where it waits and forgets the queued ones, before what they use
    // goes: work it runs aside is given up and waited for, then its frame is destroyed.
    void Abandon();

  private:
    void StartNext();
    void Start(RelayJob kind, Make& make);

    platform::IEventLoop& loop_;
    std::optional<RelayJob> running_;
    Job job_;
    std::deque<std::pair<RelayJob, Make>> queue_;
};

}  // namespace velmora::relay
