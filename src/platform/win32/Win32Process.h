#pragma once

#include <filesystem>

#include "platform/RunningProcess.h"

namespace velmora::platform::win32 {

// The running process. The program folder and name (UTF-8, like the update's file names,
// "velmora.exe") are read from the module file name.
class Win32Process : public RunningProcess {
  public:
    Win32Process() : Win32Process(Executable()) {}
    // Runs `cmd /c script PID` (PID: this process, so the script can wait for its end) from the
    // system folder's cmd.exe in the script's folder, with its console hidden, no handle
    // inherited, in a new process group and, where allowed, outside our job, so that it outlives
    // us. False when the script does not exist, its own name holds '%' or cmd could not start.
    bool StartDetachedScript(const std::filesystem::path& script) override;
    // Flushes the C and C++ streams, then ends at once (no destructors, no atexit handlers).
    [[noreturn]] void ExitNow(int code) override;

  private:
    explicit Win32Process(const std::filesystem::path& exe);
    static std::filesystem::path Executable();
};

}  // namespace velmora::platform::win32
