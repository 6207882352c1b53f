#pragma once

#include <wayland-client.h>

#include <cstddef>
#include <cstdint>

#include "platform/wayland/WaylandHandles.h"

namespace velmora::platform::wayland {

// A wl_shm buffer in a memory file of our own, mapped for reading what the compositor wrote.
class ShmBuffer {
  public:
    ShmBuffer(wl_shm* shm, int width, int height, int stride, std::uint32_t format);
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    bool valid() const { return buffer_ != nullptr; }
    wl_buffer* buffer() const { return buffer_; }
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(map_); }

  private:
    UniqueFd fd_;
    void* map_ = nullptr;
    std::size_t size_ = 0;
    // Destroyed by hand: a Proxy<> of a header's inline destroy has internal linkage.
    wl_buffer* buffer_ = nullptr;
};

}  // namespace velmora::platform::wayland
