#pragma once

#include <string>

namespace velmora::platform {

// The desktop the program runs in, as far as it decides which backends drive other programs'
// windows: X11 works the same under any window manager, while each Wayland compositor offers
// its own way (or none) to find, place and activate windows.
enum class SessionKind { X11, Sway, Kde, Gnome, OtherWayland };

// The environment variables the decision reads; an unset variable is an empty string.
struct SessionEnv {
    std::string sessionType;     // XDG_SESSION_TYPE
    std::string currentDesktop;  // XDG_CURRENT_DESKTOP, a colon-separated list
    std::string waylandDisplay;  // WAYLAND_DISPLAY
    std::string display;         // DISPLAY
    std::string swaySock;        // SWAYSOCK
};

struct SessionChoice {
    SessionKind kind = SessionKind::X11;
    // One line for the program's log: "backends: <family>, because <reason>".
    std::string description;
};

SessionChoice ChooseSession(const SessionEnv& env);

// The variables of this process.
SessionEnv SessionEnvFromProcess();

}  // namespace velmora::platform
