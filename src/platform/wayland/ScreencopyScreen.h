#pragma once

#include <memory>
#include <string>

#include "platform/IClipboard.h"

namespace velmora::platform::wayland {

// The whole-desktop capture on wlroots compositors (sway), through screencopy into shared
// memory: each output's next frame, placed where xdg-output puts the output in the layout.
// Rectangles are in the layout's coordinates; a scaled output's picture has its device pixels
// from its top-left corner on (as the Qt backend places screens). Outputs that are rotated are
// taken as their buffers are (not turned upright). Every wait is bounded.
class ScreencopyScreen : public IScreen {
  public:
    struct Options {
        std::string display;   // socket name or absolute path; empty: WAYLAND_DISPLAY
        int timeoutMs = 5000;  // for each step of a capture
    };
    ScreencopyScreen(IClipboard& clipboard, Options options);
    explicit ScreencopyScreen(IClipboard& clipboard) : ScreencopyScreen(clipboard, Options()) {}
    ~ScreencopyScreen() override;
    ScreencopyScreen(const ScreencopyScreen&) = delete;
    ScreencopyScreen& operator=(const ScreencopyScreen&) = delete;

    // Connected to a compositor that has screencopy and shared memory.
    bool Available() const;
    // The picture goes onto the clipboard; when none could be taken the clipboard stays.
    void CaptureToClipboard() override;
    Rect VirtualScreen() override;
    // The picture, 0xFFRRGGBB; empty when it cannot be taken.
    Bitmap Capture();

    struct State;

  private:
    IClipboard& clipboard_;
    std::unique_ptr<State> s_;
};

}  // namespace velmora::platform::wayland
