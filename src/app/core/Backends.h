#pragma once

#include <memory>

#include "platform/IPipeline.h"
#include "platform/Platform.h"

namespace velmora::app {

// This platform's backends, built once and owned together, and the bundle of ports the logic
// receives. One class, defined by each platform's front end (only one is linked into a
// program). Built on the thread that runs the event loop; throws std::exception when a backend
// cannot start (for instance an X server without the XTest extension).
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

}  // namespace velmora::app
