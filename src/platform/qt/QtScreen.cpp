#include "platform/qt/QtScreen.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include "platform/qt/QtClipboard.h"

namespace velmora::platform::qt {

Rect QtScreen::VirtualScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    QRect g = screen->virtualGeometry();
    return Rect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void QtScreen::CaptureToClipboard() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // Window 0 is the root window, which spans the whole virtual desktop on X11.
    QRect g = screen->virtualGeometry();
    QPixmap shot = screen->grabWindow(0, g.x(), g.y(), g.width(), g.height());
    if (shot.isNull()) return;
    clipboard_.SetImage(FromQImage(shot.toImage()));
}

}  // namespace velmora::platform::qt
