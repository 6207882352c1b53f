#pragma once

#include <filesystem>

#include "platform/RunningProcess.h"

namespace velmora::platform::posix {

// The running process. The program folder is read from /proc/self/exe.
class PosixProcess : public RunningProcess {
  public:
    PosixProcess() : PosixProcess(Executable()) {}
    // Runs `/bin/sh script PID` (PID: this process, so the script can wait for its end) in a new
    // session, with standard input and output on /dev/null and no other descriptor inherited.
    // Double fork: the script is nobody's child here, so no zombie is left. False when the
    // script does not exist or the shell could not be started.
    bool StartDetachedScript(const std::filesystem::path& script) override;
    // Flushes the C and C++ streams, then ends at once (no destructors, no atexit handlers).
    [[noreturn]] void ExitNow(int code) override;

  private:
    explicit PosixProcess(const std::filesystem::path& exe)
        : RunningProcess(exe.parent_path(), exe.filename().string()) {}
    static std::filesystem::path Executable();
};

}  // namespace velmora::platform::posix
