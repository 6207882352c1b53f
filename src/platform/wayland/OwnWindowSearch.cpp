#include "platform/wayland/OwnWindowSearch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/wayland/PictureCompare.h"

namespace velmora::platform::wayland {

namespace {

// Pixels of one row that may differ: a caret's width and its smoothed edges. Most places that
// are not the patch fail within the first few pixels of its first row.
constexpr int kRowSlack = 3;

bool WellFormed(const Bitmap& b) {
    return b.width > 0 && b.height > 0 &&
           b.pixels.size() == static_cast<std::size_t>(b.width) * b.height;
}

bool ShowsAt(const Bitmap& frame, const Bitmap& patch, int x, int y, int totalSlack) {
    int differing = 0;
    for (int py = 0; py < patch.height; ++py) {
        const std::uint32_t* f =
            frame.pixels.data() + static_cast<std::size_t>(y + py) * frame.width + x;
        const std::uint32_t* p = patch.pixels.data() + static_cast<std::size_t>(py) * patch.width;
        int row = 0;
        for (int px = 0; px < patch.width; ++px)
            if (PixelsDiffer(f[px], p[px]) && ++row > kRowSlack) return false;
        differing += row;
        if (differing > totalSlack) return false;
    }
    return true;
}

}  // namespace

std::optional<Point> FindOnce(const Bitmap& frame, const Bitmap& patch) {
    if (!WellFormed(frame) || !WellFormed(patch) || patch.width > frame.width ||
        patch.height > frame.height)
        return std::nullopt;
    // A caret through the whole patch, two pixels wide, still matches.
    const int totalSlack =
        std::max({kRowSlack, patch.width * patch.height / 100, 2 * patch.height});
    std::optional<Point> found;
    for (int y = 0; y + patch.height <= frame.height; ++y)
        for (int x = 0; x + patch.width <= frame.width; ++x) {
            if (!ShowsAt(frame, patch, x, y, totalSlack)) continue;
            if (found) return std::nullopt;
            found = Point{x, y};
        }
    return found;
}

}  // namespace velmora::platform::wayland
