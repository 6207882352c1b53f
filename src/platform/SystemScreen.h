#pragma once

#include "platform/IClipboard.h"

namespace velmora::platform {

// The whole-desktop capture that stands for the Print Screen key: the picture of the virtual
// screen, every monitor at its place, goes onto the clipboard as an image; when none could be
// taken the clipboard stays. Rectangles and pictures are in device pixels. Capture and
// VirtualScreen are defined by each system's backend (only one is linked into a program).
class SystemScreen : public IScreen {
  public:
    explicit SystemScreen(IClipboard& clipboard) : clipboard_(clipboard) {}
    void CaptureToClipboard() override {
        const Bitmap shot = Capture();
        if (!shot.empty()) clipboard_.SetImage(shot);
    }
    Rect VirtualScreen() override;
    // The picture, 0xFFRRGGBB; empty when it cannot be taken.
    Bitmap Capture();

  private:
    IClipboard& clipboard_;
};

}  // namespace velmora::platform
