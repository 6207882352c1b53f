#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace velmora::platform {

class IEventLoop;

// What Post and After asked for, for a loop that dispatches it itself: in order of due time,
// and in the order asked among equal times. Post is safe from any thread.
class LoopQueue {
  public:
    void Post(std::function<void()> fn);
    void After(std::int64_t dueMs, std::function<void()> fn);
    // Runs the earliest entry due at nowMs (posted ones are always due); false when none is.
    bool RunOne(std::int64_t nowMs);
    // The earliest due time; nullopt when empty. Posted entries are due at once (INT64_MIN).
    std::optional<std::int64_t> NextDue() const;

  private:
    mutable std::mutex mutex_;
    std::multimap<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> entries_;
    std::uint64_t seq_ = 0;
};

// Work run aside, one thread each; what is done is posted back to the loop. Joined when it
// goes, so no thread outlives the objects its work uses.
class AsideThreads {
  public:
    AsideThreads() = default;
    AsideThreads(const AsideThreads&) = delete;
    AsideThreads& operator=(const AsideThreads&) = delete;
    ~AsideThreads() { JoinAll(); }
    void Run(IEventLoop& loop, std::function<void()> work, std::function<void()> done);
    void JoinAll();

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::mutex mutex_;
    std::vector<Worker> threads_;
};

}  // namespace velmora::platform
