#pragma once

#include <filesystem>
#include <memory>

#include "app/AppConfig.h"
#include "app/IUpdateServices.h"
#include "platform/Platform.h"
#include "translate/mduTranslate.h"

namespace velmora::app {

// The one place that picks the backends for this platform and owns them, together with the
// services built on them. Needs a running QApplication.
class PlatformBackends {
  public:
    explicit PlatformBackends(const AppConfig& config);
    ~PlatformBackends();
    platform::Platform& platform() { return *platform_; }
    IUpdateServices& update();
    translate::ITranslator& translator();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<platform::Platform> platform_;
};

// Whether a display can be reached (checked before any window toolkit starts).
bool DisplayReachable();

// The machine's unit id, without starting any backend that needs a display.
std::string UnitIdWithoutDisplay();

}  // namespace velmora::app
