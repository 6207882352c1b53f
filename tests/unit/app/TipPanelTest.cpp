#include "app/core/TipPanel.h"

#include <gtest/gtest.h>

namespace velmora::app {
namespace {

constexpr int kLine = 17;

// A text of `width` pixels on one line, wrapped into lines of kLine pixels.
std::function<int(int)> Wrapped(int width) {
    return [width](int at) { return (width + at - 1) / at * kLine; };
}

TEST(TipPanel, AShortTipKeepsTheDesignAndALongerOneGrowsUpwardsAsWideAsTheInputBox) {
    struct Case {
        const char* name;
        int oneLine;
        std::function<int(int)> heightFor;
        TipLayout layout;
    } cases[] = {
        {"one short line", 90, Wrapped(90), {kTipPanelDesign, kTipLabelDesign}},
        {"exactly the design width", 105, Wrapped(105), {kTipPanelDesign, kTipLabelDesign}},
        {"a font too tall for the design line",
         90,
         [](int) { return kLine + 3; },
         {{8, 601 - 16 - 20 - 4, 337, 40}, {6, 16, 325, 20}}},
        {"two wide lines", 600, Wrapped(600), {{8, 601 - 54, 337, 54}, {6, 16, 325, 34}}},
        {"ten wide lines", 3000, Wrapped(3000), {{8, 601 - 190, 337, 190}, {6, 16, 325, 170}}},
        {"more than the window holds",
         60000,
         Wrapped(60000),
         {{8, 8, 337, 593}, {6, 16, 325, 573}}},
    };
    for (const Case& c : cases) {
        const TipLayout got = LayOutTip(c.oneLine, c.heightFor);
        EXPECT_EQ(got, c.layout) << c.name;
        // The bottom edge never moves, whatever the text.
        EXPECT_EQ(got.panel.y + got.panel.height, 601) << c.name;
    }
}

}  // namespace
}  // namespace velmora::app
