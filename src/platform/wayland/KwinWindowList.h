#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace velmora::platform::wayland {

// One window as a KWin script described it.
struct KwinWindow {
    std::string id;  // KWin's internalId, a UUID never given to another window
    int pid = 0;
    std::string caption;
    std::string resourceClass;
    Rect frame;   // with its decoration
    Rect client;  // the program's own surface
    bool minimized = false;
    bool keepAbove = false;
    bool shown = true;  // on the current desktop and not hidden
    int stacking = 0;   // higher lies above
};

struct KwinSnapshot {
    std::vector<KwinWindow> windows;
    std::string active;  // the active window's id; empty when none
};

// The snapshot in the JSON a listing script reports; nullopt for anything malformed. Windows
// beyond kMaxWindows and fields of the wrong type make the whole answer malformed.
inline constexpr std::size_t kMaxKwinWindows = 4096;
std::optional<KwinSnapshot> ParseKwinSnapshot(const std::string& json);

// The JavaScript that lists every window and reports it in that JSON (KwinScripting's report):
// snapshot(); and helpers for scripts that act on one window, on Plasma 5 and 6 alike:
// byId(id) (null when gone) and activate(c).
extern const char* const kKwinListScript;

}  // namespace velmora::platform::wayland
