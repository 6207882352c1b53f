#pragma once

#include <functional>

#include "app/core/ControlRect.h"

// Where the main window's tip panel and its label go for a given text, whatever toolkit draws
// them: a tip that fits the panel's design line keeps the design; a longer one gets a panel as
// wide as the input box that grows upwards from the design bottom edge, so the whole text shows.
namespace velmora::app {

struct TipLayout {
    ControlRect panel;  // in the main window
    ControlRect label;  // in the panel
    bool operator==(const TipLayout&) const = default;
};

// The design places (the label overhangs the panel; only its first line shows).
inline constexpr ControlRect kTipPanelDesign{88, 568, 105, 33};
inline constexpr ControlRect kTipLabelDesign{0, 16, 105, 25};

// oneLineWidth: the text's width unwrapped; heightFor(width): its height wrapped at width.
TipLayout LayOutTip(int oneLineWidth, const std::function<int(int width)>& heightFor);

}  // namespace velmora::app
