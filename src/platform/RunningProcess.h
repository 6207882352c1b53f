#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "platform/IProcess.h"

namespace velmora::platform {

// What both systems' process backends share: the executable's folder and name, learned once
// when the backend is made (so they stay right after an update has moved a new executable in),
// and the flush before an immediate end.
class RunningProcess : public IProcess {
  public:
    std::filesystem::path ProgramFolder() override { return folder_; }
    std::string ExecutableName() override { return name_; }

  protected:
    RunningProcess(std::filesystem::path folder, std::string name)
        : folder_(std::move(folder)), name_(std::move(name)) {}
    // The C and C++ streams, so an end that skips destructors and atexit handlers loses no
    // output.
    static void FlushStreams();

  private:
    std::filesystem::path folder_;
    std::string name_;
};

}  // namespace velmora::platform
