#include "platform/wayland/ShmBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

namespace velmora::platform::wayland {

ShmBuffer::ShmBuffer(wl_shm* shm, int width, int height, int stride, std::uint32_t format) {
    if (!shm || width <= 0 || height <= 0 || stride < width * 4) return;
    size_ = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    if (size_ > INT32_MAX) return;  // a pool's size is an int
    fd_.Reset(memfd_create("velmora-screencopy", MFD_CLOEXEC));
    if (!fd_ || ftruncate(fd_.Get(), static_cast<off_t>(size_)) != 0) return;
    void* map = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.Get(), 0);
    if (map == MAP_FAILED) return;
    map_ = map;
    Proxy<wl_shm_pool, wl_shm_pool_destroy> pool(
        wl_shm_create_pool(shm, fd_.Get(), static_cast<int32_t>(size_)));
    if (!pool) return;
    buffer_ = wl_shm_pool_create_buffer(pool.get(), 0, width, height, stride, format);
}

ShmBuffer::~ShmBuffer() {
    if (buffer_) wl_buffer_destroy(buffer_);
    if (map_) munmap(map_, size_);
}

}  // namespace velmora::platform::wayland
