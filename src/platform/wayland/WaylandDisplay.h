#pragma once

#include <string>

#include "platform/wayland/WaylandHandles.h"

namespace velmora::platform::wayland {

// One client connection to a Wayland compositor, closed with the object. Waits on the
// compositor are bounded: a compositor that stops answering costs a timeout, not a hang.
class WaylandDisplay {
  public:
    // name: a socket name in XDG_RUNTIME_DIR or an absolute path; empty: WAYLAND_DISPLAY.
    // Throws std::runtime_error when no compositor answers there.
    explicit WaylandDisplay(const std::string& name = {});

    wl_display* Get() const { return display_.get(); }
    // Sends everything queued and waits until the compositor has handled it, dispatching the
    // events it sent meanwhile; false on a timeout or a broken connection.
    bool Roundtrip(int timeoutMs);
    // Whether the connection has failed for good (a protocol error, a closed socket).
    bool Broken() const;

  private:
    DisplayPtr display_;
};

}  // namespace velmora::platform::wayland
