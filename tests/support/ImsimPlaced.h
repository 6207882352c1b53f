#pragma once

// Whether the chat stand-in's window is where the stand-in believes it is. Until the window
// manager's last move has reached the stand-in's toolkit, the screen places it reports for its
// controls are off by that move, and a click meant for one control lands on another.

#include <X11/Xlib.h>

#include "ImsimClient.h"

inline bool PlacedAsReported(Display* d, const imsim::ImsimGeometry& g) {
    if (!d || g.window == 0) return false;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(d, static_cast<Window>(g.window), DefaultRootWindow(d), 0, 0, &x, &y,
                               &child))
        return false;
    return x == g.x && y == g.y;
}
