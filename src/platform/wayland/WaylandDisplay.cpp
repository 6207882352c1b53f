#include "platform/wayland/WaylandDisplay.h"
#include "platform/posix/FdWait.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace velmora::platform::wayland {

namespace {

using Clock = std::chrono::steady_clock;

bool FlushAll(wl_display* d, Clock::time_point deadline) {
    while (wl_display_flush(d) < 0) {
        if (errno != EAGAIN) return false;
        if (!posix::WaitForFd(wl_display_get_fd(d), POLLOUT, deadline)) return false;
    }
    return true;
}

struct CallbackFree {
    void operator()(wl_callback* c) const { wl_callback_destroy(c); }
};

}  // namespace

void WaylandDisplay::Disconnect::operator()(wl_display* d) const {
    wl_display_disconnect(d);
}

WaylandDisplay::WaylandDisplay(const std::string& name)
    : display_(wl_display_connect(name.empty() ? nullptr : name.c_str())) {
    if (!display_)
        throw std::runtime_error("no Wayland compositor answers on " +
                                 (name.empty() ? std::string("WAYLAND_DISPLAY") : name));
}

bool WaylandDisplay::Broken() const {
    return wl_display_get_error(display_.get()) != 0;
}

bool WaylandDisplay::Roundtrip(int timeoutMs) {
    wl_display* d = display_.get();
    if (Broken()) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool done = false;
    static const wl_callback_listener listener{
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    // Destroyed on every way out, so a late answer never writes to `done` once it is gone.
    std::unique_ptr<wl_callback, CallbackFree> sync(wl_display_sync(d));
    if (!sync) return false;
    wl_callback_add_listener(sync.get(), &listener, &done);
    while (!done) {
        if (!FlushAll(d, deadline)) return false;
        if (wl_display_prepare_read(d) != 0) {
            if (wl_display_dispatch_pending(d) < 0) return false;
            continue;
        }
        if (!posix::WaitForFd(wl_display_get_fd(d), POLLIN, deadline)) {
            wl_display_cancel_read(d);
            return false;
        }
        if (wl_display_read_events(d) < 0) return false;
        if (wl_display_dispatch_pending(d) < 0) return false;
    }
    return true;
}

}  // namespace velmora::platform::wayland
