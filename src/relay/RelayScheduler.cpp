#include "relay/RelayScheduler.h"

#include <algorithm>

namespace velmora::relay {

RelayScheduler::~RelayScheduler() {
    Abandon();
}

void RelayScheduler::Abandon() {
    queue_.clear();
    if (!running_) return;
    loop_.RequestCancel();
    loop_.JoinAside();
    loop_.ClearCancel();
    Job abandoned = std::move(job_);
    running_.reset();
}

bool RelayScheduler::Queued(RelayJob kind) const {
    return std::any_of(queue_.begin(), queue_.end(),
                       [kind](const auto& job) { return job.first == kind; });
}

bool RelayScheduler::Submit(RelayJob kind, Make make) {
    if (running_) {
        if (kind != RelayJob::Capture && !Queued(kind)) queue_.emplace_back(kind, std::move(make));
        return false;
    }
    Start(kind, make);
    return true;
}

void RelayScheduler::Start(RelayJob kind, Make& make) {
    running_ = kind;
    try {
        job_ = make();
    } catch (...) {
        running_.reset();
        throw;
    }
    // However the job ends (an exception included), the next may start. The callback runs
    // inside the job's last step: the finished frame goes first, then the next job starts.
    job_.Start([this](std::exception_ptr) {
        Job finished = std::move(job_);
        running_.reset();
        finished = Job{};
        StartNext();
    });
}

void RelayScheduler::StartNext() {
    if (running_ || queue_.empty()) return;
    auto [kind, make] = std::move(queue_.front());
    queue_.pop_front();
    Start(kind, make);
}

}  // namespace velmora::relay
