#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Types.h"

namespace velmora::platform {

// Everything a clipboard held: each format's name and bytes, in the owner's order.
struct ClipboardContents {
    std::vector<std::pair<std::string, std::string>> formats;
};

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
    // Every format the clipboard holds (nullopt when it cannot be read), and putting such
    // contents back (empty contents: the clipboard is emptied). By default only the text.
    virtual std::optional<ClipboardContents> Save();
    virtual bool Restore(const ClipboardContents& contents);
    // How many times other programs asked for what the last SetText put there; nullopt where
    // the back end cannot see them (the data is handed over whole when it is set).
    virtual std::optional<int> Reads() { return std::nullopt; }
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
