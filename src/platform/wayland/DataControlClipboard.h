#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/IClipboard.h"
#include "platform/IEventLoop.h"
#include "platform/wayland/DataControlSession.h"

namespace velmora::platform::wayland {

// The clipboard on wlroots compositors (sway), through data-control: it needs no keyboard
// focus, so the relay can set and read it while another program's window has the focus. A
// thread of the session's own answers other programs' pastes; each one served, and each change
// of the selection, wakes the event loop.
//
// Reading another program's data is bounded: readMs for each read, kMaxBytes in all, and a
// Save stops at the first owner that does not answer. Our own selection is answered from
// memory.
class DataControlClipboard : public IClipboard {
  public:
    struct Options {
        std::string display;  // socket name or absolute path; empty: WAYLAND_DISPLAY
        int readMs = 2000;    // for an owner to hand over one format
        DataControlSession::Limits session;
    };
    DataControlClipboard(IEventLoop& loop, Options options);
    explicit DataControlClipboard(IEventLoop& loop) : DataControlClipboard(loop, Options()) {}

    // Connected to a compositor that has data-control.
    bool Available() const { return session_.Ready(); }

    bool Clear() override;
    bool SetText(const std::u16string& text) override;
    std::optional<std::u16string> Text() override;
    bool SetImage(const Bitmap& image) override;
    Bitmap Image() override;
    std::optional<ClipboardContents> Save() override;
    bool Restore(const ClipboardContents& contents) override;
    std::optional<int> Reads() override;

    static constexpr int kMaxFormats = 32;
    static constexpr std::size_t kMaxBytes = 64u << 20;

  private:
    std::optional<std::string> Read(const std::string& type, std::size_t maxBytes,
                                    std::chrono::steady_clock::time_point deadline);

    Options options_;
    DataControlSession session_;
    std::shared_ptr<std::atomic<int>> reads_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace velmora::platform::wayland
