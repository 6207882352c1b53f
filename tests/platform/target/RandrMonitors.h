#pragma once

#include <string>
#include <vector>

namespace velmora::target {

// A monitor of the test desktop, in root-window pixels.
struct MonitorRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Splits the root window of `display` into RandR 1.5 monitors, as `xrandr --setmonitor` does:
// the first takes over the server's outputs, the others are virtual. Returns an error text,
// empty on success. Raw protocol, so the tests need neither the xrandr tool nor its headers.
std::string SetMonitors(const std::string& display, const std::vector<MonitorRect>& monitors);

}  // namespace velmora::target
