#pragma once

#include "platform/IClipboard.h"

namespace velmora::platform::qt {

// The whole-desktop capture that stands for the Print Screen key: the picture of every
// screen, at its place in the virtual desktop, goes onto the clipboard. Rectangles and the
// picture are in device pixels (the X server's), not in Qt's scaled coordinates.
class QtScreen : public IScreen {
  public:
    explicit QtScreen(IClipboard& clipboard) : clipboard_(clipboard) {}
    void CaptureToClipboard() override;
    Rect VirtualScreen() override;

  private:
    IClipboard& clipboard_;
};

}  // namespace velmora::platform::qt
