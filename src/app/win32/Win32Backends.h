#pragma once

#include <memory>
#include <string>

#include "platform/IPipeline.h"
#include "platform/Platform.h"

namespace velmora::app::win32 {

// Windows starts no child programs for translation (the offline engine needs Linux): every run
// reports that nothing could be started.
class NoProgramRunner : public platform::IProgramRunner {
  public:
    std::unique_ptr<platform::IPipeline> NewPipeline() override;
    platform::RunResult Run(const platform::Argv& argv, std::string_view input, int timeoutMs,
                            std::size_t maxBytes) override;
};

// The Win32 backends, built once and owned together, and the bundle of ports the logic
// receives. Must be built on the thread that runs the message loop.
class Win32Backends {
  public:
    Win32Backends();
    ~Win32Backends();
    Win32Backends(const Win32Backends&) = delete;
    Win32Backends& operator=(const Win32Backends&) = delete;

    platform::Platform& platform() { return *platform_; }
    // Large update files go through their own client, with limits suited to them.
    platform::IHttp& downloadHttp();
    platform::IProgramRunner& programs();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<platform::Platform> platform_;
};

// The machine's processor id, without building the other backends.
std::string ProcessorIdAlone();

}  // namespace velmora::app::win32
