#pragma once

#include <memory>
#include <string>

#include "platform/IPipeline.h"
#include "platform/Platform.h"

namespace velmora::app {

// The backends of this platform, built once and owned together, and the bundle of ports the
// logic receives. Needs a running QApplication; throws std::exception when a backend cannot
// start (for instance an X server without the XTest extension).
class Backends {
  public:
    Backends();
    ~Backends();
    Backends(const Backends&) = delete;
    Backends& operator=(const Backends&) = delete;

    platform::Platform& platform() { return *platform_; }
    // Large update files go through their own client, with limits suited to them.
    platform::IHttp& downloadHttp();
    // Child programs (the offline engine's pipelines).
    platform::IProgramRunner& programs();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<platform::Platform> platform_;
};

// Whether a display can be reached (checked before any window toolkit starts).
bool DisplayReachable();

// The machine's processor id, without starting any backend that needs a display.
std::string ProcessorIdWithoutDisplay();

}  // namespace velmora::app
