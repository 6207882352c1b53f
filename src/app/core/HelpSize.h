#pragma once

#include "app/core/ControlRect.h"

namespace velmora::app {

// Where the help window puts its browser, from the window's outer size in pixels. The rule is
// kept in twips (15 per pixel): width = outer width - 100 twips, height = outer height - 500
// twips, each at least 0, at the window's top-left corner; back in pixels to the nearest one.
ControlRect HelpBrowserGeometryFor(int outerWidthPx, int outerHeightPx);

}  // namespace velmora::app
