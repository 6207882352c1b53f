#pragma once

#include <memory>
#include <string>

#include "platform/IEventLoop.h"
#include "platform/Types.h"
#include "platform/wayland/PortalRemoteDesktop.h"
#include "platform/wayland/ScreenCastStream.h"

namespace velmora::platform::wayland {

// The screen as the portal's session streams it, and the picture frozen for a pick: what the
// screen backend shows the user and what the window backend checks the live screen against
// (GNOME tells no client where other windows are). Coordinates are the desktop layout's; the
// stream covers one monitor (Area).
class ScreenCast {
  public:
    static constexpr int kFrameWaitMs = 5000;

    // Opens the session's stream; Available says whether it came up.
    ScreenCast(PortalRemoteDesktop& session, IEventLoop& loop);

    bool Available();
    // Why the screen cannot be read; empty while it can.
    std::string Reason();
    Rect Area() const;
    // How many frames the stream brought so far.
    std::uint64_t Frames() const { return stream_ ? stream_->Frames() : 0; }
    std::string StreamState() const { return stream_ ? stream_->StateName() : "none"; }
    // The screen now; empty when no frame came in time.
    Bitmap Live();
    // Takes the screen now as the picture the next pick is made on; false when none came.
    bool Freeze();
    const Bitmap& Frozen() const { return *frozen_; }
    // The frozen picture, kept by whoever still checks points against it.
    std::shared_ptr<const Bitmap> FrozenPicture() const { return frozen_; }
    // Increases with every Freeze: names the frozen picture.
    int Generation() const { return generation_; }
    // Whether the live screen around a layout point still shows what the frozen picture shows.
    bool LiveMatchesFrozen(Point at, int radius) { return LiveMatches(*frozen_, at, radius); }
    bool LiveMatches(const Bitmap& picture, Point at, int radius);

  private:
    PortalRemoteDesktop& session_;
    std::unique_ptr<ScreenCastStream> stream_;
    std::shared_ptr<const Bitmap> frozen_ = std::make_shared<const Bitmap>();
    int generation_ = 0;
};

}  // namespace velmora::platform::wayland
