#include "platform/wayland/WaylandDisplay.h"

#include <wayland-client.h>

#include <stdexcept>

#include "platform/wayland/WaylandConnection.h"

namespace velmora::platform::wayland {

WaylandDisplay::WaylandDisplay(const std::string& name) : display_(ConnectDisplay(name)) {
    if (!display_)
        throw std::runtime_error("no Wayland compositor answers on " +
                                 (name.empty() ? std::string("WAYLAND_DISPLAY") : name));
}

bool WaylandDisplay::Broken() const {
    return wl_display_get_error(display_.get()) != 0;
}

bool WaylandDisplay::Roundtrip(int timeoutMs) {
    return !Broken() && wayland::Roundtrip(display_.get(), timeoutMs) && !Broken();
}

}  // namespace velmora::platform::wayland
