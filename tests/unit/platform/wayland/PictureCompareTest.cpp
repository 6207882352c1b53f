// The comparison of the live screen with the frozen picture around a picked point.

#include "platform/wayland/PictureCompare.h"

#include <gtest/gtest.h>

namespace velmora::platform::wayland {
namespace {

Bitmap Filled(int w, int h, std::uint32_t colour) {
    return Bitmap{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, colour)};
}

// Paints the rectangle [x0, x1) x [y0, y1).
Bitmap Painted(Bitmap b, int x0, int y0, int x1, int y1, std::uint32_t colour) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) b.pixels[static_cast<std::size_t>(y) * b.width + x] = colour;
    return b;
}

TEST(PictureCompareTest, SameOnlyWhereTheSquareAroundThePointShowsTheSameThing) {
    const Bitmap grey = Filled(100, 80, 0xFF808080);
    struct Case {
        const char* name;
        Bitmap live;
        Point at;
        bool same;
    };
    const Case cases[] = {
        {"unchanged", grey, {50, 40}, true},
        {"shades within the tolerance", Filled(100, 80, 0xFF9A9A9A), {50, 40}, true},
        // A caret two pixels wide through the square: under a tenth of it.
        {"a caret", Painted(grey, 50, 30, 52, 51, 0xFF000000), {50, 40}, true},
        {"a window over the point", Painted(grey, 30, 20, 100, 80, 0xFFCC6633), {50, 40}, false},
        {"a window over a quarter of the square",
         Painted(grey, 50, 40, 100, 80, 0xFFCC6633),
         {50, 40},
         false},
        {"a change elsewhere", Painted(grey, 0, 0, 20, 20, 0xFF000000), {70, 60}, true},
        {"one channel far off", Filled(100, 80, 0xFF80FF80), {50, 40}, false},
        {"the square cut by the edge", grey, {0, 0}, true},
        {"a point outside", grey, {100, 40}, false},
        {"a negative point", grey, {-1, 40}, false},
        {"another size", Filled(101, 80, 0xFF808080), {50, 40}, false},
        {"no live picture", Bitmap{}, {50, 40}, false},
        {"pixels missing", Bitmap{100, 80, {}}, {50, 40}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(SameAround(grey, c.live, c.at, 10), c.same) << c.name;
}

TEST(PictureCompareTest, NoFrozenPictureIsNeverTheSame) {
    EXPECT_FALSE(SameAround(Bitmap{}, Bitmap{}, {0, 0}, 10));
    EXPECT_FALSE(SameAround(Filled(4, 4, 0), Filled(4, 4, 0), {1, 1}, -1));
}

}  // namespace
}  // namespace velmora::platform::wayland
