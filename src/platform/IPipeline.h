#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// A program and its arguments; argv[0] is looked up on PATH.
using Argv = std::vector<std::string>;

enum class PipeStatus {
    Ok,
    TimedOut,   // the bound passed first
    Closed,     // the other end went away: a program ended, or its output ended early
    TooLarge,   // more output than the caller allows
    NotRunning  // nothing started, or it could not be started
};

struct PipeRead {
    PipeStatus status = PipeStatus::NotRunning;
    std::string bytes;
};

struct RunResult {
    PipeStatus status = PipeStatus::NotRunning;
    int exitCode = -1;  // meaningful only when status is Ok
    std::string output;
    std::string error;  // short English text when status is not Ok
};

// A long-lived chain of programs joined like a shell pipeline: each one's standard output is the
// next one's standard input; standard error is discarded. Waits are bounded by the caller.
class IPipeline {
  public:
    virtual ~IPipeline() = default;
    // Starts the chain, killing any chain this object already runs. False, with a reason in
    // error and nothing left running, when a program could not be started.
    virtual bool Start(const std::vector<Argv>& commands, std::string& error) = 0;
    // Writes all bytes to the first program. Output that arrives meanwhile is kept for
    // ReadUntil, so a long write never deadlocks against a full output pipe.
    virtual PipeStatus Write(std::string_view bytes, int timeoutMs) = 0;
    // The last program's output up to the first delimiter byte (which is consumed and not
    // returned); anything after it stays for the next call. Fails with TooLarge beyond maxBytes.
    virtual PipeRead ReadUntil(char delimiter, int timeoutMs, std::size_t maxBytes) = 0;
    // False once any program of the chain has ended.
    virtual bool Alive() = 0;
    // Ends every program of the chain and waits for each one. Safe to call twice.
    virtual void Kill() = 0;
};

// Starts pipelines and one-shot programs.
class IProgramRunner {
  public:
    virtual ~IProgramRunner() = default;
    virtual std::unique_ptr<IPipeline> NewPipeline() = 0;
    // Runs argv with input on its standard input and returns its standard output. The program
    // is killed when it outlives timeoutMs or writes more than maxBytes.
    virtual RunResult Run(const Argv& argv, std::string_view input, int timeoutMs,
                          std::size_t maxBytes) = 0;
};

}  // namespace velmora::platform
