#pragma once

class QGuiApplication;
class QWidget;

namespace velmora::platform::qt {

// Qt 6.4's Wayland platform asks the compositor to activate the focus window whenever the
// focus moves between widgets. A request answered after the relay clicked another window is
// refused, and GNOME then tells the user our window "is ready". This drops that implicit
// request; explicit activations (QWidget::activateWindow) still go out.
void KeepActivationExplicit(QGuiApplication& app);

// Whether the window holds the keyboard focus, as the windowing system last said. On Wayland
// Qt 6.4 can keep a window active after the focus came and went within one batch of events
// (the going is compared with a focus change not yet delivered, and dropped); the platform's
// own record follows every enter and leave.
bool HoldsFocus(const QWidget& window);

}  // namespace velmora::platform::qt
