#pragma once

#include <optional>
#include <string>

#include "platform/Types.h"

namespace velmora::platform {

class IClipboard {
  public:
    virtual ~IClipboard() = default;
    virtual bool Clear() = 0;
    virtual bool SetText(const std::u16string& text) = 0;
    // The clipboard's plain text; empty when it holds none; nullopt when it cannot be read.
    virtual std::optional<std::u16string> Text() = 0;
    virtual bool SetImage(const Bitmap& image) = 0;
    // The clipboard's image; empty when it holds none.
    virtual Bitmap Image() = 0;
};

// The whole-screen capture that stands for the Print Screen key.
class IScreen {
  public:
    virtual ~IScreen() = default;
    // Grab the whole virtual screen and put it on the clipboard as an image.
    virtual void CaptureToClipboard() = 0;
    virtual Rect VirtualScreen() = 0;
};

}  // namespace velmora::platform
