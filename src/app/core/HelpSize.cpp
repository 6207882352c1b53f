#include "app/core/HelpSize.h"

#include <algorithm>

namespace velmora::app {

namespace {
constexpr long kTwipsPerPixel = 15;

int TwipsToPixels(long twips) {
    return static_cast<int>((twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}
}  // namespace

ControlRect HelpBrowserGeometryFor(int outerWidthPx, int outerHeightPx) {
    long w = std::max(0L, outerWidthPx * kTwipsPerPixel - 100);
    long h = std::max(0L, outerHeightPx * kTwipsPerPixel - 500);
    return {0, 0, TwipsToPixels(w), TwipsToPixels(h)};
}

}  // namespace velmora::app
