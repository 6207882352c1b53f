#pragma once

// Owning handles for a Wayland client's resources: the connection, its proxies, and the file
// descriptors that carry clipboard data.

#include <unistd.h>
#include <wayland-client.h>

#include <memory>
#include <utility>

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

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

}  // namespace velmora::platform::wayland
