#include <gtest/gtest.h>

#include "app/core/HelpSize.h"

using velmora::app::HelpBrowserGeometryFor;

TEST(HelpSize, TwipsRuleCutAtZero) {
    struct Case {
        int outerW, outerH, width, height;
    };
    const Case cases[] = {
        {1280, 900, 1273, 867},  // 19200-100 twips, 13500-500 twips
        {320, 240, 313, 207},    // 4700 / 15 = 313.3, 3100 / 15 = 206.7
        {34, 34, 27, 1},         // 510-100 = 410 -> 27.3, 510-500 = 10 -> 0.7
        {33, 33, 26, 0},         // 495-500 is cut to 0
        {6, 6, 0, 0},            // 90-100 is cut to 0
        {0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        auto g = HelpBrowserGeometryFor(c.outerW, c.outerH);
        EXPECT_EQ(g.x, 0);
        EXPECT_EQ(g.y, 0);
        EXPECT_EQ(g.width, c.width) << c.outerW;
        EXPECT_EQ(g.height, c.height) << c.outerH;
    }
}
