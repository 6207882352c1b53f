#pragma once

#include "app/core/Backends.h"
#include "app/core/IFrontEnd.h"

namespace velmora::app {

// A front end that owns its backends, its snapshot overlay and its send shortcut dialog, and
// hands them out as the program asks for them.
template <typename OverlayWindow, typename ShortcutWindow>
class OwningFrontEnd : public IFrontEnd {
  public:
    platform::Platform& Ports() final { return backends_.platform(); }
    platform::IHttp& DownloadHttp() final { return backends_.downloadHttp(); }
    platform::IProgramRunner& Programs() final { return backends_.programs(); }
    target::ISnapShotOverlay& Overlay() final { return overlay_; }
    target::ISendShortcutDialog& ShortcutDialog() final { return shortcutDialog_; }

  private:
    Backends backends_;
    OverlayWindow overlay_;
    ShortcutWindow shortcutDialog_;
};

}  // namespace velmora::app
