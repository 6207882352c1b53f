#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::platform {

// A window as the logic sees it: a plain number, 0 for "no window". On X11 it is the XID.
using WinHandle = std::int32_t;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool operator==(const Point&) const = default;
};

// Screen rectangle; right and bottom are exclusive.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    bool operator==(const Rect&) const = default;
};

// An image in memory, 0xAARRGGBB per pixel, row after row.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    bool empty() const { return width <= 0 || height <= 0; }
};

// Local calendar time, whole seconds.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

}  // namespace velmora::platform
