#include "platform/wayland/PaneFrame.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/wayland/PictureCompare.h"

namespace velmora::platform::wayland {

namespace {

bool Valid(const Bitmap& b) {
    return !b.empty() && b.pixels.size() == static_cast<std::size_t>(b.width) * b.height;
}

std::uint32_t At(const Bitmap& b, int x, int y) {
    return b.pixels[static_cast<std::size_t>(y) * b.width + x];
}

}  // namespace

std::optional<Rect> PaneAround(const Bitmap& picture, Point at, int radius) {
    if (!Valid(picture) || radius < 1 || at.x < 0 || at.y < 0 || at.x >= picture.width ||
        at.y >= picture.height)
        return std::nullopt;
    const int left = std::max(0, at.x - radius), right = std::min(picture.width - 1, at.x + radius);
    const int top = std::max(0, at.y - radius),
              bottom = std::min(picture.height - 1, at.y + radius);
    // The background: the commonest colour of the square, if it and its shades fill most of it.
    std::map<std::uint32_t, int> counts;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) ++counts[At(picture, x, y) & 0xFFFFFF];
    const auto commonest =
        std::max_element(counts.begin(), counts.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    const std::uint32_t background = commonest->first;
    int like = 0, total = 0;
    std::optional<Point> seed;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            ++total;
            if (PixelsDiffer(At(picture, x, y), background)) continue;
            ++like;
            const auto dist = [&](Point p) { return std::abs(p.x - at.x) + std::abs(p.y - at.y); };
            if (!seed || dist({x, y}) < dist(*seed)) seed = Point{x, y};
        }
    if (like * 2 <= total) return std::nullopt;
    // The background's whole extent, four-connected; text inside it is an island it goes round.
    std::vector<std::uint8_t> seen(picture.pixels.size(), 0);
    std::vector<Point> todo{*seed};
    seen[static_cast<std::size_t>(seed->y) * picture.width + seed->x] = 1;
    Rect box{seed->x, seed->y, seed->x, seed->y};
    while (!todo.empty()) {
        const Point p = todo.back();
        todo.pop_back();
        box.left = std::min(box.left, p.x);
        box.right = std::max(box.right, p.x);
        box.top = std::min(box.top, p.y);
        box.bottom = std::max(box.bottom, p.y);
        for (const Point n :
             {Point{p.x - 1, p.y}, Point{p.x + 1, p.y}, Point{p.x, p.y - 1}, Point{p.x, p.y + 1}}) {
            if (n.x < 0 || n.y < 0 || n.x >= picture.width || n.y >= picture.height) continue;
            const std::size_t i = static_cast<std::size_t>(n.y) * picture.width + n.x;
            if (seen[i] || PixelsDiffer(picture.pixels[i], background)) continue;
            seen[i] = 1;
            todo.push_back(n);
        }
    }
    if (box.left == 0 || box.top == 0 || box.right == picture.width - 1 ||
        box.bottom == picture.height - 1)
        return std::nullopt;
    if (box.right - box.left <= 2 * radius || box.bottom - box.top <= 2 * radius)
        return std::nullopt;
    return box;
}

bool SameAroundPane(const Bitmap& a, const Bitmap& b, Rect pane) {
    if (!Valid(a) || !Valid(b) || a.width != b.width || a.height != b.height) return false;
    constexpr int kOut = kPaneGap + kPaneBand;
    int total = 0, differing = 0;
    for (int y = std::max(0, pane.top - kOut); y <= std::min(a.height - 1, pane.bottom + kOut); ++y)
        for (int x = std::max(0, pane.left - kOut); x <= std::min(a.width - 1, pane.right + kOut);
             ++x) {
            // Inside the band: beyond the gap on one side at least.
            if (x >= pane.left - kPaneGap && x <= pane.right + kPaneGap &&
                y >= pane.top - kPaneGap && y <= pane.bottom + kPaneGap)
                continue;
            ++total;
            if (PixelsDiffer(At(a, x, y), At(b, x, y))) ++differing;
        }
    // A band mostly beyond the picture's edges says nothing about the window.
    const int full = 2 * kPaneBand * ((pane.right - pane.left) + (pane.bottom - pane.top));
    if (total * 2 < full) return false;
    return differing * 10 <= total;
}

}  // namespace velmora::platform::wayland
