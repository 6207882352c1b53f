#pragma once

#include <filesystem>
#include <string>

#include "platform/IProcess.h"

namespace velmora::platform::win32 {

// The running process. The program folder and name are read from the module file name once,
// at construction, so they stay right after an update has moved a new executable in.
class Win32Process : public IProcess {
  public:
    Win32Process();
    std::filesystem::path ProgramFolder() override { return folder_; }
    // UTF-8, like the update's file names ("velmora.exe").
    std::string ExecutableName() override { return name_; }
    // Runs `cmd /c script PID` (PID: this process, so the script can wait for its end) from the
    // system folder's cmd.exe in the script's folder, with its console hidden, no handle
    // inherited, in a new process group and, where allowed, outside our job, so that it outlives
    // us. False when the script does not exist, its own name holds '%' or cmd could not start.
    bool StartDetachedScript(const std::filesystem::path& script) override;
    // Flushes the C and C++ streams, then ends at once (no destructors, no atexit handlers).
    [[noreturn]] void ExitNow(int code) override;

  private:
    std::filesystem::path folder_;
    std::string name_;
};

}  // namespace velmora::platform::win32
