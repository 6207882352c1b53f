#pragma once

// Owning handles for a Wayland client's resources: the connection, its proxies, and the file
// descriptors that carry clipboard data.

#include <unistd.h>
#include <wayland-client.h>

#include <memory>

#include <utility>
#include "platform/posix/UniqueFd.h"

namespace velmora::platform::wayland {

struct DisplayCloser {
    void operator()(wl_display* d) const {
        if (d) wl_display_disconnect(d);
    }
};
using DisplayPtr = std::unique_ptr<wl_display, DisplayCloser>;

// A proxy with the destroy request its interface asks for (the generated *_destroy).
template <typename T, void (*Destroy)(T*)>
struct ProxyDestroyer {
    void operator()(T* p) const {
        if (p) Destroy(p);
    }
};
template <typename T, void (*Destroy)(T*)>
using Proxy = std::unique_ptr<T, ProxyDestroyer<T, Destroy>>;

// The core protocol's objects every backend binds.
using RegistryPtr = Proxy<wl_registry, wl_registry_destroy>;
using SeatPtr = Proxy<wl_seat, wl_seat_destroy>;
using OutputPtr = Proxy<wl_output, wl_output_destroy>;
using ShmPtr = Proxy<wl_shm, wl_shm_destroy>;
using CallbackPtr = Proxy<wl_callback, wl_callback_destroy>;

using UniqueFd = posix::UniqueFd;

}  // namespace velmora::platform::wayland
