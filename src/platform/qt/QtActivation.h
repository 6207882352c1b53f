#pragma once

class QWidget;

namespace velmora::platform::qt {

// Whether the window holds the keyboard focus, as the windowing system last said. On Wayland
// Qt 6.4 can keep a window active after the focus came and went within one batch of events
// (the going is compared with a focus change not yet delivered, and dropped); the platform's
// own record follows every enter and leave.
bool HoldsFocus(const QWidget& window);

}  // namespace velmora::platform::qt
