#pragma once

namespace velmora::app {

// Where a control goes in its parent, in pixels, whatever toolkit draws it.
struct ControlRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ControlRect&) const = default;
};

}  // namespace velmora::app
