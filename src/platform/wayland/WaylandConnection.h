#pragma once

#include <functional>
#include <string>

#include "platform/wayland/WaylandHandles.h"

namespace velmora::platform::wayland {

// Connects to a compositor: name is a socket name or an absolute path; empty means
// WAYLAND_DISPLAY. Null when there is none.
DisplayPtr ConnectDisplay(const std::string& name);

// For a connection read by one thread only: dispatches its events until done() holds, the
// time is up or the connection fails. Returns done()'s last value.
bool DispatchUntil(wl_display* display, const std::function<bool()>& done, int timeoutMs);

// Waits (bounded) until the compositor has answered everything sent before.
bool Roundtrip(wl_display* display, int timeoutMs);

}  // namespace velmora::platform::wayland
