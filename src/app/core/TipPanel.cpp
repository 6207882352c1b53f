#include "app/core/TipPanel.h"

#include <algorithm>

namespace velmora::app {

namespace {

constexpr int kCaptionHeight = 16;  // the panel's own "操作提示" line
constexpr int kWideLeft = 8;        // the input box's left edge and width
constexpr int kWideWidth = 337;
constexpr int kTop = 8;  // the window's top margin: the panel never goes higher
constexpr int kPadding = 6;
constexpr int kBottomPadding = 4;

}  // namespace

TipLayout LayOutTip(int oneLineWidth, const std::function<int(int width)>& heightFor) {
    const int designLine = kTipPanelDesign.height - kTipLabelDesign.y;
    if (oneLineWidth <= kTipLabelDesign.width && heightFor(kTipLabelDesign.width) <= designLine)
        return {kTipPanelDesign, kTipLabelDesign};
    const int bottom = kTipPanelDesign.y + kTipPanelDesign.height;
    const int labelWidth = kWideWidth - 2 * kPadding;
    const int labelHeight = heightFor(labelWidth);
    const int height = std::min(kCaptionHeight + labelHeight + kBottomPadding, bottom - kTop);
    return {{kWideLeft, bottom - height, kWideWidth, height},
            {kPadding, kCaptionHeight, labelWidth, height - kCaptionHeight - kBottomPadding}};
}

}  // namespace velmora::app
