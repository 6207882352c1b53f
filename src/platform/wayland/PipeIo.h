#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/wayland/WaylandHandles.h"

namespace velmora::platform::wayland {

using SteadyTime = std::chrono::steady_clock::time_point;

// How a read of another program's clipboard data ended.
enum class ReadEnd { Complete, TimedOut, TooLarge, Failed };

struct PipeRead {
    ReadEnd end = ReadEnd::Failed;
    std::string bytes;
};

// Reads fd until its writer closes it, keeping at most maxBytes and giving up at the deadline:
// a writer that never writes, never closes or never stops cannot hold us longer.
PipeRead ReadAll(int fd, std::size_t maxBytes, SteadyTime deadline);

// A pipe whose read end is non-blocking (ours) and whose write end is blocking (the writer's:
// a plain writer must not meet EAGAIN). False when the system has no descriptors left.
bool MakeReadPipe(UniqueFd& readEnd, UniqueFd& writeEnd);

// One answer to another program's paste: the bytes go into its pipe as it takes them, without
// ever blocking the thread that serves the clipboard, until all are written, the reader has
// gone or the deadline passed. The descriptor is closed in every case.
class PendingWrite {
  public:
    PendingWrite(UniqueFd fd, std::shared_ptr<const std::string> data, SteadyTime deadline);
    // Writes what the pipe takes now; true when this answer is finished. Call it from a thread
    // that blocks SIGPIPE (a reader that closed early raises it).
    bool Pump();
    int fd() const { return fd_.Get(); }
    SteadyTime deadline() const { return deadline_; }

  private:
    UniqueFd fd_;
    std::shared_ptr<const std::string> data_;
    std::size_t written_ = 0;
    SteadyTime deadline_;
};

}  // namespace velmora::platform::wayland
