#include "platform/wayland/OwnWindowSearch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/wayland/PictureCompare.h"

namespace velmora::platform::wayland {

namespace {

// Pixels of one row that may differ: a caret's width and its smoothed edges.
constexpr int kRowSlack = 3;

bool WellFormed(const Bitmap& b) {
    return b.width > 0 && b.height > 0 &&
           b.pixels.size() == static_cast<std::size_t>(b.width) * b.height;
}

// The patch's rows, those with the most edges first: most places that are not the patch fail
// within a few pixels of the first row checked, even where the screen and the patch share a
// plain colour over many rows.
std::vector<int> RowsByEdges(const Bitmap& patch) {
    std::vector<int> edges(static_cast<std::size_t>(patch.height), 0);
    for (int y = 0; y < patch.height; ++y) {
        const std::uint32_t* row = patch.pixels.data() + static_cast<std::size_t>(y) * patch.width;
        for (int x = 1; x < patch.width; ++x) edges[y] += PixelsDiffer(row[x - 1], row[x]) ? 1 : 0;
    }
    std::vector<int> order(static_cast<std::size_t>(patch.height));
    for (int y = 0; y < patch.height; ++y) order[y] = y;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return edges[a] > edges[b]; });
    return order;
}

bool ShowsAt(const Bitmap& frame, const Bitmap& patch, const std::vector<int>& rows, int x, int y,
             int totalSlack) {
    int differing = 0;
    for (const int py : rows) {
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
    const std::vector<int> rows = RowsByEdges(patch);
    std::optional<Point> found;
    for (int y = 0; y + patch.height <= frame.height; ++y)
        for (int x = 0; x + patch.width <= frame.width; ++x) {
            if (!ShowsAt(frame, patch, rows, x, y, totalSlack)) continue;
            if (found) return std::nullopt;
            found = Point{x, y};
        }
    return found;
}

}  // namespace velmora::platform::wayland
