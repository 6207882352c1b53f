#pragma once

#include "platform/Types.h"

namespace velmora::platform::wayland {

// Whether two pictures of the screen show the same thing in the square of `radius` pixels
// around `at` (picture coordinates). A blinking caret or a redrawn edge may differ: up to
// a tenth of the square's pixels may, each by any amount, before the square counts as changed.
// Pictures of different sizes, or a point outside them, are never the same.
bool SameAround(const Bitmap& a, const Bitmap& b, Point at, int radius);

// Whether two pixels differ in earnest: a channel beyond what scaling and dithering change.
bool PixelsDiffer(std::uint32_t p, std::uint32_t q);

}  // namespace velmora::platform::wayland
