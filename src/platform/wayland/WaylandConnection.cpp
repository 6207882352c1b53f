#include "platform/wayland/WaylandConnection.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

namespace velmora::platform::wayland {

DisplayPtr ConnectDisplay(const std::string& name) {
    return DisplayPtr(wl_display_connect(name.empty() ? nullptr : name.c_str()));
}

bool DispatchUntil(wl_display* display, const std::function<bool()>& done, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0) return done();
        if (done()) {
            wl_display_cancel_read(display);
            break;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return done();
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) {
            wl_display_cancel_read(display);
            break;
        }
        pollfd p{wl_display_get_fd(display), POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready > 0) {
            if (wl_display_read_events(display) < 0) return done();
        } else {
            wl_display_cancel_read(display);
            if (ready < 0 && errno != EINTR) return done();
        }
        if (wl_display_dispatch_pending(display) < 0) return done();
    }
    return done();
}

namespace {
void OnSyncDone(void* data, wl_callback*, uint32_t) {
    *static_cast<bool*>(data) = true;
}
const wl_callback_listener kSyncListener{OnSyncDone};
}  // namespace

bool Roundtrip(wl_display* display, int timeoutMs) {
    bool answered = false;
    CallbackPtr sync(wl_display_sync(display));
    if (!sync) return false;
    wl_callback_add_listener(sync.get(), &kSyncListener, &answered);
    return DispatchUntil(
        display, [&] { return answered; }, timeoutMs);
}

}  // namespace velmora::platform::wayland
