#pragma once

#include <filesystem>
#include <memory>

#include "platform/Platform.h"

namespace velmora::app {

// The one place that picks the backends for this platform and owns them.
class PlatformBackends {
  public:
    PlatformBackends();
    ~PlatformBackends();
    platform::Platform& platform() { return *platform_; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<platform::Platform> platform_;
};

// Whether a display can be reached (checked before any window toolkit starts).
bool DisplayReachable();

// The folder of the running executable, without starting any backend.
std::filesystem::path ProgramFolderOfThisProcess();

}  // namespace velmora::app
