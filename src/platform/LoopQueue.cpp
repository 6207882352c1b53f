#include "platform/LoopQueue.h"

#include <limits>
#include <vector>

#include "platform/IEventLoop.h"

namespace velmora::platform {

void LoopQueue::Post(std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    entries_.emplace(std::pair{std::numeric_limits<std::int64_t>::min(), seq_++}, std::move(fn));
}

void LoopQueue::After(std::int64_t dueMs, std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    entries_.emplace(std::pair{dueMs, seq_++}, std::move(fn));
}

bool LoopQueue::RunOne(std::int64_t nowMs) {
    std::function<void()> fn;
    {
        std::lock_guard lock(mutex_);
        if (entries_.empty() || entries_.begin()->first.first > nowMs) return false;
        fn = std::move(entries_.begin()->second);
        entries_.erase(entries_.begin());
    }
    // Outside the lock: what runs may post or set timers again.
    fn();
    return true;
}

std::optional<std::int64_t> LoopQueue::NextDue() const {
    std::lock_guard lock(mutex_);
    if (entries_.empty()) return std::nullopt;
    return entries_.begin()->first.first;
}

void AsideThreads::Run(IEventLoop& loop, std::function<void()> work, std::function<void()> done) {
    std::lock_guard lock(mutex_);
    // Threads that have ended are joined here, so a long run does not pile them up.
    std::erase_if(threads_, [](Worker& w) {
        if (!w.finished->load()) return false;
        w.thread.join();
        return true;
    });
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread t([&loop, finished, work = std::move(work), done = std::move(done)]() mutable {
        try {
            work();
        } catch (...) {
            // The caller's work reports its own failures; nothing may end the program here.
        }
        loop.Post(std::move(done));
        finished->store(true);
    });
    threads_.push_back({std::move(t), std::move(finished)});
}

void AsideThreads::JoinAll() {
    std::vector<Worker> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(threads_);
    }
    for (auto& w : threads)
        if (w.thread.joinable()) w.thread.join();
}

}  // namespace velmora::platform
