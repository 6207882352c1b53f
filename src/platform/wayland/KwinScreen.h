#pragma once

#include <memory>
#include <string>

#include "platform/IClipboard.h"
#include "platform/wayland/KwinScripting.h"

namespace velmora::platform::wayland {

// The whole-desktop capture on KDE Plasma, through KWin's ScreenShot2 D-Bus interface: the
// workspace at its logical size, raw pixels through a pipe. KWin answers only a program whose
// desktop entry (found as for fake input: Exec= its absolute path) lists
// org.kde.KWin.ScreenShot2 in X-KDE-DBUS-Restricted-Interfaces, and only while it composites
// with OpenGL. Every wait is bounded.
class KwinScreen : public IScreen {
  public:
    // busAddress: as KwinScripting's; the screen's size comes from a KWin script.
    KwinScreen(IClipboard& clipboard, KwinScripting& scripting, const std::string& busAddress = {},
               int timeoutMs = 5000);
    ~KwinScreen() override;
    KwinScreen(const KwinScreen&) = delete;
    KwinScreen& operator=(const KwinScreen&) = delete;

    // Whether KWin offers ScreenShot2 at all (not whether it will answer us).
    bool Available() const;
    // The picture goes onto the clipboard; when none could be taken the clipboard stays.
    void CaptureToClipboard() override;
    Rect VirtualScreen() override;
    // The picture, 0xFFRRGGBB; empty when it cannot be taken, LastError() then says why.
    Bitmap Capture();
    const std::string& LastError() const { return error_; }

  private:
    struct Impl;
    IClipboard& clipboard_;
    KwinScripting& scripting_;
    std::unique_ptr<Impl> impl_;
    std::string error_;
};

}  // namespace velmora::platform::wayland
