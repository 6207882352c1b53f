#pragma once

#include <optional>

#include "platform/Types.h"

namespace velmora::platform::wayland {

// The top-left corner of the one place in `frame` that shows `patch`; nullopt where no place
// or more than one does (a click is only ever made where the patch is seen once), and for an
// empty or malformed picture or a patch larger than the frame. A blinking caret may differ: a
// few pixels of each row, and a hundredth of the patch (or two columns of it) in all.
std::optional<Point> FindOnce(const Bitmap& frame, const Bitmap& patch);

}  // namespace velmora::platform::wayland
