#include "platform/wayland/ScreenCompose.h"

#include <algorithm>
#include <cstring>

namespace velmora::platform::wayland {

namespace {

bool Readable(const OutputFrame& f) {
    constexpr int kFar = 1 << 24;  // a place no layout has: its sums would overflow
    return f.data && IsReadableFormat(f.format) && f.width > 0 && f.height > 0 && f.x > -kFar &&
           f.x < kFar && f.y > -kFar && f.y < kFar && f.width <= kMaxSide && f.height <= kMaxSide &&
           static_cast<std::int64_t>(f.stride) >= std::int64_t{4} * f.width;
}

std::uint32_t ToArgb(std::uint32_t word, std::uint32_t format) {
    if (format == kAbgr8888 || format == kXbgr8888)
        word = (word & 0x0000FF00u) | ((word & 0xFFu) << 16) | ((word >> 16) & 0xFFu);
    return 0xFF000000u | (word & 0x00FFFFFFu);
}

}  // namespace

bool IsReadableFormat(std::uint32_t format) {
    return format == kArgb8888 || format == kXrgb8888 || format == kAbgr8888 || format == kXbgr8888;
}

Rect LayoutRect(const std::vector<Rect>& outputs) {
    Rect all;
    bool any = false;
    for (const Rect& r : outputs) {
        if (r.right <= r.left || r.bottom <= r.top) continue;
        if (!any) {
            all = r;
            any = true;
            continue;
        }
        all.left = std::min(all.left, r.left);
        all.top = std::min(all.top, r.top);
        all.right = std::max(all.right, r.right);
        all.bottom = std::max(all.bottom, r.bottom);
    }
    return all;
}

Bitmap ComposeScreen(const std::vector<OutputFrame>& frames) {
    std::vector<Rect> rects;
    for (const OutputFrame& f : frames)
        if (Readable(f)) rects.push_back({f.x, f.y, f.x + f.width, f.y + f.height});
    const Rect all = LayoutRect(rects);
    const std::int64_t w = std::int64_t{all.right} - all.left;
    const std::int64_t h = std::int64_t{all.bottom} - all.top;
    if (w <= 0 || h <= 0 || w > kMaxSide * 4 || h > kMaxSide * 4 || w * h > kMaxPixels) return {};

    Bitmap out;
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    out.pixels.assign(static_cast<std::size_t>(w * h), 0xFF000000u);
    for (const OutputFrame& f : frames) {
        if (!Readable(f)) continue;
        for (int row = 0; row < f.height; ++row) {
            const int from = f.yInvert ? f.height - 1 - row : row;
            const std::uint8_t* src = f.data + static_cast<std::size_t>(from) * f.stride;
            std::uint32_t* dst = out.pixels.data() +
                                 static_cast<std::size_t>(f.y - all.top + row) * out.width +
                                 (f.x - all.left);
            for (int col = 0; col < f.width; ++col) {
                std::uint32_t word;
                std::memcpy(&word, src + static_cast<std::size_t>(col) * 4, 4);
                dst[col] = ToArgb(word, f.format);
            }
        }
    }
    return out;
}

}  // namespace velmora::platform::wayland
