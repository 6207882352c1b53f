#pragma once

#include <cstdint>
#include <vector>

#include "platform/Types.h"

namespace velmora::platform::wayland {

// wl_shm pixel formats we read (little-endian 32-bit words).
enum ShmFormat : std::uint32_t {
    kArgb8888 = 0,
    kXrgb8888 = 1,
    kAbgr8888 = 0x34324241,
    kXbgr8888 = 0x34324258,
};
bool IsReadableFormat(std::uint32_t format);

// One output's picture as the compositor copied it, and the output's place in the layout.
struct OutputFrame {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row
    std::uint32_t format = kXrgb8888;
    bool yInvert = false;                // the rows come bottom first
    const std::uint8_t* data = nullptr;  // stride * height bytes
};

// The layout's rectangle: the union of the outputs' rectangles.
Rect LayoutRect(const std::vector<Rect>& outputs);

// The virtual screen, 0xFFRRGGBB, each output at its place and upright; black where no output
// is. Frames with a size, stride or format that cannot be read are left out; empty when none
// is left or the layout would be larger than kMaxPixels.
Bitmap ComposeScreen(const std::vector<OutputFrame>& frames);

constexpr int kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;

}  // namespace velmora::platform::wayland
