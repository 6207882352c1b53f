#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/IEventLoop.h"
#include "platform/Types.h"

namespace velmora::platform::wayland {

// One screen-cast stream read through PipeWire on a thread of its own: the newest frame is kept
// as 0xFFRRGGBB pixels. The compositor sends a frame when the screen changes, so the newest
// frame is the screen as it is now (give or take a frame in flight). Frames that do not fit
// their buffers are dropped.
class ScreenCastStream {
  public:
    // fd: a PipeWire connection (owned from here on, closed even when this fails); node: the
    // stream's node on it.
    ScreenCastStream(IEventLoop& loop, int fd, std::uint32_t node);
    ~ScreenCastStream();
    ScreenCastStream(const ScreenCastStream&) = delete;
    ScreenCastStream& operator=(const ScreenCastStream&) = delete;

    // Empty while the stream works; else why it does not.
    std::string Error() const;
    // The newest frame; waits (on the event loop, bounded) for the first. Empty when none came.
    Bitmap Latest(int timeoutMs);
    // How many frames arrived so far.
    std::uint64_t Frames() const;
    // PipeWire's name of the stream's state (for the log).
    std::string StateName() const;

    struct State;

  private:
    IEventLoop& loop_;
    std::unique_ptr<State> s_;
};

}  // namespace velmora::platform::wayland
