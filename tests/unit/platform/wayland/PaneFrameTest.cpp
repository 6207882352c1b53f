// The pane of text around a picked point, and the band around it that says the window is still
// there while the pane's own content changes.

#include "platform/wayland/PaneFrame.h"

#include <gtest/gtest.h>

namespace velmora::platform::wayland {
namespace {

constexpr std::uint32_t kWindow = 0xFFD0D0D0, kOutline = 0xFF707070, kPage = 0xFFFFFFFF,
                        kInk = 0xFF101010, kSelection = 0xFF3060C0, kOther = 0xFFCC6633;

// Paints the rectangle [x0, x1) x [y0, y1), clipped to the picture.
void Paint(Bitmap& b, int x0, int y0, int x1, int y1, std::uint32_t colour) {
    for (int y = std::max(0, y0); y < std::min(b.height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(b.width, x1); ++x)
            b.pixels[static_cast<std::size_t>(y) * b.width + x] = colour;
}

// Rows of "words" (ink blocks with gaps), shifted by `scroll` pixels, inside [x0, x1) x [y0, y1).
void Text(Bitmap& b, int x0, int y0, int x1, int y1, int scroll) {
    for (int y = y0 + 2 - scroll % 12; y + 7 < y1; y += 12)
        for (int x = x0 + 3; x + 5 < x1; x += 8)
            if (y >= y0) Paint(b, x, y, x + 5, y + 7, kInk);
}

// A window (200x150) with a framed pane of text at [40, 160) x [30, 120) and a button below.
Bitmap Window(int scroll = 0) {
    Bitmap b{200, 150, std::vector<std::uint32_t>(200 * 150, kWindow)};
    Paint(b, 40, 30, 160, 120, kOutline);
    Paint(b, 41, 31, 159, 119, kPage);
    Text(b, 41, 31, 159, 119, scroll);
    Paint(b, 120, 128, 160, 142, kOutline);
    return b;
}

constexpr Point kInPane{100, 75};
constexpr int kRadius = 12;

TEST(PaneFrameTest, FindsThePaneOfTextThatHoldsThePoint) {
    struct Case {
        const char* name;
        Bitmap picture;
        Point at;
        std::optional<Rect> pane;
    };
    Bitmap onInk = Window();
    Paint(onInk, 95, 70, 105, 80, kInk);
    Bitmap tiny = Window();
    Paint(tiny, 10, 10, 30, 30, kOutline);
    Paint(tiny, 11, 11, 29, 29, kPage);
    Bitmap speckled = Window();
    for (int y = 60; y < 90; ++y)
        for (int x = 85; x < 115; ++x)
            Paint(speckled, x, y, x + 1, y + 1,
                  (x + y) % 3 == 0   ? kInk
                  : (x + y) % 3 == 1 ? kOther
                                     : kPage);
    const Case cases[] = {
        {"a point among the text", Window(), kInPane, Rect{41, 31, 158, 118}},
        {"a point on a word", onInk, kInPane, Rect{41, 31, 158, 118}},
        {"the window's bare background reaches the edges", Window(), {20, 140}, std::nullopt},
        {"a pane smaller than the square", tiny, {20, 20}, std::nullopt},
        {"no colour fills most of the square", speckled, kInPane, std::nullopt},
        {"a point outside", Window(), {200, 75}, std::nullopt},
        {"no picture", Bitmap{}, kInPane, std::nullopt},
        {"pixels missing", Bitmap{200, 150, {}}, kInPane, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(PaneAround(c.picture, c.at, kRadius), c.pane) << c.name;
}

TEST(PaneFrameTest, TheBandAroundThePaneIgnoresItsContentButNotWhatCoversIt) {
    const Bitmap frozen = Window();
    const Rect pane = *PaneAround(frozen, kInPane, kRadius);
    struct Case {
        const char* name;
        Bitmap live;
        bool same;
    };
    Bitmap selected = Window(5);
    Paint(selected, 41, 31, 159, 119, kSelection);
    Text(selected, 41, 31, 159, 119, 5);
    Bitmap focused = Window(5);
    Paint(focused, 39, 29, 161, 121, kSelection);
    Paint(focused, 41, 31, 159, 119, kPage);
    Text(focused, 41, 31, 159, 119, 5);
    Bitmap covered = Window();
    Paint(covered, 30, 20, 180, 140, kOther);
    Bitmap halfCovered = Window();
    Paint(halfCovered, 100, 0, 200, 150, kOther);
    Bitmap pressed = Window(3);
    Paint(pressed, 121, 129, 159, 141, kSelection);  // the button below, inside the band
    Bitmap sideCovered = Window();
    Paint(sideCovered, 150, 20, 200, 130, kOther);  // one side of the band and beyond
    const Case cases[] = {
        {"unchanged", frozen, true},
        {"new text scrolled in", Window(7), true},
        {"all of it selected", selected, true},
        {"a focus frame around the pane", focused, true},
        {"a button next to it pressed", pressed, true},
        {"a window over all of it", covered, false},
        {"a window over half of it", halfCovered, false},
        {"a window over one side", sideCovered, false},
        {"another size", Bitmap{201, 150, std::vector<std::uint32_t>(201 * 150, kWindow)}, false},
        {"no live picture", Bitmap{}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(SameAroundPane(frozen, c.live, pane), c.same) << c.name;
}

TEST(PaneFrameTest, ABandMostlyBeyondThePictureSaysNothing) {
    const Bitmap w = Window();
    EXPECT_FALSE(SameAroundPane(w, w, Rect{2, 2, 197, 147}));
    EXPECT_TRUE(SameAroundPane(w, w, Rect{41, 31, 158, 118}));
}

}  // namespace
}  // namespace velmora::platform::wayland
