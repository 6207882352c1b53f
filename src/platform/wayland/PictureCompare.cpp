#include "platform/wayland/PictureCompare.h"

#include <algorithm>
#include <cstdlib>

namespace velmora::platform::wayland {

namespace {

// Beyond this a channel differs in earnest (scaling and dithering stay below it).
constexpr int kChannelTolerance = 40;

}  // namespace

bool PixelsDiffer(std::uint32_t p, std::uint32_t q) {
    for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((p >> shift) & 0xFF);
        const int b = static_cast<int>((q >> shift) & 0xFF);
        if (std::abs(a - b) > kChannelTolerance) return true;
    }
    return false;
}

bool SameAround(const Bitmap& a, const Bitmap& b, Point at, int radius) {
    if (a.empty() || a.width != b.width || a.height != b.height || radius < 0) return false;
    if (a.pixels.size() != static_cast<std::size_t>(a.width) * a.height ||
        b.pixels.size() != a.pixels.size())
        return false;
    if (at.x < 0 || at.y < 0 || at.x >= a.width || at.y >= a.height) return false;
    const int left = std::max(0, at.x - radius), right = std::min(a.width - 1, at.x + radius);
    const int top = std::max(0, at.y - radius), bottom = std::min(a.height - 1, at.y + radius);
    int total = 0, differing = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * a.width + x;
            ++total;
            if (PixelsDiffer(a.pixels[i], b.pixels[i])) ++differing;
        }
    return differing * 10 <= total;
}

}  // namespace velmora::platform::wayland
