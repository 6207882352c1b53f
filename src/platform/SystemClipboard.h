#pragma once

#include <cstddef>
#include <memory>

#include "platform/IClipboard.h"
#include "platform/IEventLoop.h"

namespace velmora::platform {

// The system clipboard. Every change of it wakes the event loop, so a wait for new clipboard
// content ends as soon as it arrives. One class, defined by each system's backend with its own
// state (only one is linked into a program).
class SystemClipboard : public IClipboard {
  public:
    explicit SystemClipboard(IEventLoop& loop);
    ~SystemClipboard() override;
    SystemClipboard(const SystemClipboard&) = delete;
    SystemClipboard& operator=(const SystemClipboard&) = delete;

    bool Clear() override;
    bool SetText(const std::u16string& text) override;
    std::optional<std::u16string> Text() override;
    bool SetImage(const Bitmap& image) override;
    Bitmap Image() override;
    // Every format the system can hand over as bytes (at most kMaxFormats, kMaxBytes in all).
    std::optional<ClipboardContents> Save() override;
    bool Restore(const ClipboardContents& contents) override;
    // Counts the requests other programs make for what SetText served, where the system tells.
    std::optional<int> Reads() override;

    static constexpr int kMaxFormats = 32;
    static constexpr std::size_t kMaxBytes = 64u << 20;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace velmora::platform
