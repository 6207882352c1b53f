#pragma once

#include "platform/IClipboard.h"
#include "platform/wayland/ScreenCast.h"

namespace velmora::platform::wayland {

// The whole-screen capture on GNOME: the session's stream, frozen for the pick that follows.
// The stream shows one monitor: the picture is that monitor, VirtualScreen its place.
class ScreenCastScreen : public IScreen {
  public:
    ScreenCastScreen(IClipboard& clipboard, ScreenCast& cast)
        : clipboard_(clipboard), cast_(cast) {}
    // The picture goes onto the clipboard; when none could be taken the clipboard stays.
    void CaptureToClipboard() override {
        if (cast_.Freeze()) clipboard_.SetImage(cast_.Frozen());
    }
    Rect VirtualScreen() override { return cast_.Area(); }

  private:
    IClipboard& clipboard_;
    ScreenCast& cast_;
};

}  // namespace velmora::platform::wayland
