#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform::wayland {

// One global a Wayland compositor offers: an interface and the highest version it speaks.
struct WaylandGlobal {
    std::string interface;
    std::uint32_t version = 0;
    bool operator==(const WaylandGlobal&) const = default;
};

// The globals a compositor offers, in the order it lists them, for choosing backends at start.
// display: a socket name or absolute path; empty: WAYLAND_DISPLAY. nullopt when no compositor
// answers there within timeoutMs. A list past a few thousand entries, or a name past 255
// bytes, is cut off there.
std::optional<std::vector<WaylandGlobal>> ListWaylandGlobals(const std::string& display = {},
                                                             int timeoutMs = 2000);

// Whether the list holds the interface, at least at the version.
bool Offers(const std::vector<WaylandGlobal>& globals, std::string_view interface,
            std::uint32_t version = 1);

}  // namespace velmora::platform::wayland
