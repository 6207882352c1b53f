#pragma once

#include "platform/IClipboard.h"

namespace velmora::platform::win32 {

// The whole-desktop capture that stands for the Print Screen key: one picture of the virtual
// screen (every monitor at its place) goes onto the clipboard as an image.
class Win32Screen : public IScreen {
  public:
    explicit Win32Screen(IClipboard& clipboard) : clipboard_(clipboard) {}
    void CaptureToClipboard() override;
    Rect VirtualScreen() override;

    // The picture of the virtual screen, 0xFFRRGGBB; empty when it cannot be taken.
    Bitmap Capture();

  private:
    IClipboard& clipboard_;
};

}  // namespace velmora::platform::win32
