#pragma once

#include <filesystem>
#include <string>

#include "platform/IProcess.h"

namespace velmora::platform::posix {

// The running process. The program folder is read from /proc/self/exe once, at construction,
// so it stays right after an update has renamed a new executable over the running one.
class PosixProcess : public IProcess {
  public:
    PosixProcess();
    std::filesystem::path ProgramFolder() override { return folder_; }
    std::string ExecutableName() override { return name_; }
    // Runs `/bin/sh script PID` (PID: this process, so the script can wait for its end) in a new
    // session, with standard input and output on /dev/null and no other descriptor inherited.
    // Double fork: the script is nobody's child here, so no zombie is left. False when the
    // script does not exist or the shell could not be started.
    bool StartDetachedScript(const std::filesystem::path& script) override;
    // Flushes the C and C++ streams, then ends at once (no destructors, no atexit handlers).
    [[noreturn]] void ExitNow(int code) override;

  private:
    std::filesystem::path folder_;
    std::string name_;
};

}  // namespace velmora::platform::posix
