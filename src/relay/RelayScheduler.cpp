#include "relay/RelayScheduler.h"

#include <algorithm>

namespace velmora::relay {

bool RelayScheduler::Queued(RelayJob kind) const {
    return std::any_of(queue_.begin(), queue_.end(),
                       [kind](const auto& job) { return job.first == kind; });
}

bool RelayScheduler::Submit(RelayJob kind, Run run) {
    if (running_) {
        if (kind != RelayJob::Capture && !Queued(kind)) queue_.emplace_back(kind, std::move(run));
        return false;
    }
    // However a job ends (an exception included), the next may start.
    struct Running {
        std::optional<RelayJob>& slot;
        Running(std::optional<RelayJob>& s, RelayJob k) : slot(s) { slot = k; }
        ~Running() { slot.reset(); }
    };
    {
        Running r(running_, kind);
        run();
    }
    while (!queue_.empty()) {
        auto [next, job] = std::move(queue_.front());
        queue_.pop_front();
        Running r(running_, next);
        job();
    }
    return true;
}

}  // namespace velmora::relay
