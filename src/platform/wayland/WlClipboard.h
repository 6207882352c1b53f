#pragma once

#include <optional>
#include <string>

#include "platform/IClipboard.h"
#include "platform/IEventLoop.h"

namespace velmora::platform::wayland {

// The clipboard through wl-copy and wl-paste, for compositors without a data-control protocol
// (GNOME's mutter). Each call runs the tool to its end, bounded. On mutter each of them takes
// the keyboard focus for a moment (a Wayland client may only touch the clipboard while it has
// the focus): callers set the clipboard before they activate the window they paste into.
// wl-copy leaves a process of its own behind that serves what was set until the next copy.
class WlClipboard : public IClipboard {
  public:
    struct Options {
        std::string display;  // socket name or absolute path; empty: WAYLAND_DISPLAY
        int timeoutMs = 3000;
    };
    WlClipboard(IEventLoop& loop, Options options);
    explicit WlClipboard(IEventLoop& loop) : WlClipboard(loop, Options()) {}

    // Whether wl-copy and wl-paste are there and reach the compositor.
    bool Available();
    bool Clear() override;
    bool SetText(const std::u16string& text) override;
    std::optional<std::u16string> Text() override;
    bool SetImage(const Bitmap& image) override;
    Bitmap Image() override;

  private:
    bool Copy(const std::string& type, const std::string& bytes);
    // The bytes of a type; "" when the clipboard holds none of it; nullopt when unreadable.
    std::optional<std::string> Paste(const std::string& type);

    IEventLoop& loop_;
    Options options_;
};

}  // namespace velmora::platform::wayland
