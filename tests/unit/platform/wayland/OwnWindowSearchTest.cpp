// The search for a patch of our own window in a frame of the screen: one place only, a caret
// aside.

#include "platform/wayland/OwnWindowSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace velmora::platform::wayland {
namespace {

// A picture no shifted copy of itself matches: every pixel its own colour.
Bitmap Noise(int w, int h, std::uint32_t seed) {
    Bitmap b{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
    std::uint32_t s = seed * 2654435761u + 1;
    for (auto& p : b.pixels) {
        s = s * 1664525u + 1013904223u;
        p = 0xFF000000u | (s >> 8);
    }
    return b;
}

Bitmap Filled(int w, int h, std::uint32_t colour) {
    return Bitmap{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, colour)};
}

Bitmap Pasted(Bitmap frame, const Bitmap& patch, Point at) {
    for (int y = 0; y < patch.height; ++y)
        for (int x = 0; x < patch.width; ++x)
            frame.pixels[static_cast<std::size_t>(at.y + y) * frame.width + at.x + x] =
                patch.pixels[static_cast<std::size_t>(y) * patch.width + x];
    return frame;
}

// Paints the rectangle [x0, x1) x [y0, y1).
Bitmap Painted(Bitmap b, int x0, int y0, int x1, int y1, std::uint32_t colour) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) b.pixels[static_cast<std::size_t>(y) * b.width + x] = colour;
    return b;
}

// Every pixel moved by `by` in each channel.
Bitmap Shaded(Bitmap b, int by) {
    for (auto& p : b.pixels) {
        std::uint32_t q = 0xFF000000u;
        for (int shift : {0, 8, 16}) {
            const int c = std::min(255, static_cast<int>((p >> shift) & 0xFF) + by);
            q |= static_cast<std::uint32_t>(c) << shift;
        }
        p = q;
    }
    return b;
}

TEST(OwnWindowSearchTest, FindsThePatchOnlyWhereItShowsOnce) {
    const Bitmap patch = Noise(160, 48, 7);
    const Bitmap screen = Noise(1280, 800, 3);
    const Point mid{611, 377};
    const Bitmap shown = Pasted(screen, patch, mid);
    struct Case {
        std::string name;
        Bitmap frame;
        std::optional<Point> found;
    };
    const Case cases[] = {
        {"shown once", shown, mid},
        {"not shown", screen, std::nullopt},
        {"shown twice", Pasted(shown, patch, {40, 600}), std::nullopt},
        {"shown twice side by side", Pasted(shown, patch, {771, 377}), std::nullopt},
        {"a window over its corner", Painted(shown, 700, 400, 900, 600, 0xFF3366CC), std::nullopt},
        {"a window over its left edge, 4 pixels wide",
         Painted(shown, 600, 300, 615, 500, 0xFF3366CC), std::nullopt},
        {"a window over its bottom rows", Painted(shown, 0, 420, 1280, 800, 0xFF3366CC),
         std::nullopt},
        {"a caret one pixel wide", Painted(shown, 690, 380, 691, 420, 0xFF000000), mid},
        {"a caret two pixels wide, its whole height",
         Painted(shown, 690, 377, 692, 425, 0xFFFFFFFF), mid},
        {"changes in four columns",
         Painted(Painted(shown, 690, 380, 692, 420, 0xFF000000), 720, 380, 722, 420, 0xFF000000),
         std::nullopt},
        {"shades within the tolerance", Pasted(screen, Shaded(patch, 30), mid), mid},
        {"shades beyond it", Pasted(screen, Shaded(patch, 90), mid), std::nullopt},
        {"at the top left corner", Pasted(screen, patch, {0, 0}), Point{0, 0}},
        {"at the bottom right corner", Pasted(screen, patch, {1120, 752}), Point{1120, 752}},
        {"a frame of another size", Pasted(Noise(1920, 1080, 5), patch, {1700, 1000}),
         Point{1700, 1000}},
        {"a frame the patch's size", patch, Point{0, 0}},
        {"a frame narrower than the patch", Noise(159, 800, 5), std::nullopt},
        {"a frame lower than the patch", Noise(1280, 47, 5), std::nullopt},
        {"no frame", Bitmap{}, std::nullopt},
        {"a frame without its pixels", Bitmap{1280, 800, {}}, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<Point> at = FindOnce(c.frame, patch);
        EXPECT_EQ(at.has_value(), c.found.has_value()) << c.name;
        if (at && c.found) {
            EXPECT_EQ(*at, *c.found) << c.name;
        }
    }
}

// A window's patch is mostly its plain background, as much of the screen may be: only its few
// rows of detail tell the one place from the others.
TEST(OwnWindowSearchTest, APlainPatchOnAPlainScreenIsFoundByItsRowsOfDetail) {
    Bitmap patch = Filled(160, 48, 0xFFFFFFFF);
    const Bitmap features = Noise(160, 6, 9);
    std::copy(features.pixels.begin(), features.pixels.end(),
              patch.pixels.end() - static_cast<std::ptrdiff_t>(features.pixels.size()));
    const Bitmap frame = Pasted(Filled(1280, 800, 0xFFFFFFFF), patch, {900, 700});
    EXPECT_EQ(FindOnce(frame, patch), (Point{900, 700}));
}

TEST(OwnWindowSearchTest, APatchWithoutFeaturesOrPixelsIsNeverFound) {
    // One colour matches everywhere on a screen of it: never a single place to click.
    EXPECT_EQ(FindOnce(Filled(1280, 800, 0xFFEEEEEE), Filled(160, 48, 0xFFEEEEEE)), std::nullopt);
    EXPECT_EQ(FindOnce(Noise(1280, 800, 1), Bitmap{}), std::nullopt);
    EXPECT_EQ(FindOnce(Noise(1280, 800, 1), Bitmap{160, 48, {0xFF000000}}), std::nullopt);
}

}  // namespace
}  // namespace velmora::platform::wayland
