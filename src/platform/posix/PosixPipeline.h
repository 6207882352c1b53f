#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/IEventLoop.h"
#include "platform/IPipeline.h"
#include "platform/posix/UniqueFd.h"

struct pollfd;

namespace velmora::platform::posix {

// A chain of child processes in one process group of their own, so Kill ends all of them
// (and anything they started) with one signal; every child is waited for.
//
// Waits poll with the caller's bound. With an event loop, they poll in slices of a few
// milliseconds and let the loop dispatch between slices, so the user interface stays live.
// Not reentrant: a handler run from the loop must not use the same pipeline.
class PosixPipeline : public IPipeline {
  public:
    explicit PosixPipeline(IEventLoop* loop = nullptr) : loop_(loop) {}
    ~PosixPipeline() override { Kill(); }
    PosixPipeline(const PosixPipeline&) = delete;
    PosixPipeline& operator=(const PosixPipeline&) = delete;

    bool Start(const std::vector<Argv>& commands, std::string& error) override;
    PipeStatus Write(std::string_view bytes, int timeoutMs) override;
    PipeRead ReadUntil(char delimiter, int timeoutMs, std::size_t maxBytes) override;
    bool Alive() override;
    void Kill() override;

    // For a one-shot run: end the first program's input, read the output to its end, and wait
    // for the programs to end (the last one's exit code, 128 + signal when killed).
    void CloseInput() { in_.Reset(); }
    PipeRead ReadToEnd(int timeoutMs, std::size_t maxBytes);
    std::optional<int> WaitExit(int timeoutMs);

  private:
    using Deadline = std::chrono::steady_clock::time_point;
    struct Child {
        pid_t pid = -1;
        bool reaped = false;
        int status = 0;
    };
    // Polls until an fd is ready or the deadline passes: >0 ready, 0 deadline, <0 error.
    int PollUntil(::pollfd* fds, int count, Deadline deadline);
    // Reads what the last program has written so far into pending_.
    PipeStatus Drain(std::size_t maxBytes);
    bool Reap(Child& c, bool block);

    IEventLoop* loop_;
    std::vector<Child> children_;
    pid_t group_ = 0;
    UniqueFd in_;
    UniqueFd out_;
    std::string pending_;
    bool outEnded_ = false;
};

class PosixProgramRunner : public IProgramRunner {
  public:
    explicit PosixProgramRunner(IEventLoop* loop = nullptr) : loop_(loop) {}
    std::unique_ptr<IPipeline> NewPipeline() override;
    RunResult Run(const Argv& argv, std::string_view input, int timeoutMs,
                  std::size_t maxBytes) override;

  private:
    IEventLoop* loop_;
};

}  // namespace velmora::platform::posix
