#pragma once

#include <functional>

namespace velmora::app {

// Saved settings replace objects a running job may still be using (the shortcut whose handler
// is on the stack, say): they are applied at once when no job runs, else once the job ended.
// Requests made meanwhile come to one application.
class DeferredApply {
  public:
    DeferredApply(std::function<bool()> busy, std::function<void()> apply)
        : busy_(std::move(busy)), apply_(std::move(apply)) {}

    // True when applied now; false when it waits for the running job.
    bool Request();
    // Applies a waiting request if no job runs any more. True when one was applied.
    bool Poll();
    bool Pending() const { return pending_; }

  private:
    std::function<bool()> busy_;
    std::function<void()> apply_;
    bool pending_ = false;
};

}  // namespace velmora::app
