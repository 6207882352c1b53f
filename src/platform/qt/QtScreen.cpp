#include "platform/SystemScreen.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <cmath>

#include "platform/qt/QtClipboard.h"

// Xlib last: its macros clash with names in Qt's headers.
#include <X11/Xlib.h>

namespace velmora::platform {

using qt::FromQImage;

namespace {

// A screen in device pixels. Qt keeps a screen's top-left corner in device pixels and divides
// only its size by the scale factor.
QRect DeviceGeometry(const QScreen* s) {
    QRect g = s->geometry();
    qreal dpr = s->devicePixelRatio();
    return QRect(g.topLeft(), QSize(static_cast<int>(std::lround(g.width() * dpr)),
                                    static_cast<int>(std::lround(g.height() * dpr))));
}

}  // namespace

Rect SystemScreen::VirtualScreen() {
    // On X11 the virtual desktop is the root window, whose size is exact in device pixels;
    // the scaled screen sizes may be a pixel off after rounding.
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        if (Display* d = x11->display())
            return Rect{0, 0, DisplayWidth(d, DefaultScreen(d)),
                        DisplayHeight(d, DefaultScreen(d))};
    QRect all;
    for (const QScreen* s : QGuiApplication::screens()) all |= DeviceGeometry(s);
    return Rect{all.left(), all.top(), all.left() + all.width(), all.top() + all.height()};
}

Bitmap SystemScreen::Capture() {
    Rect v = VirtualScreen();
    if (v.right <= v.left || v.bottom <= v.top) return {};
    // Each screen grabs its own part at full resolution; the parts go where their screens
    // are in the desktop, in device pixels, whatever the scale factor.
    QImage whole(v.right - v.left, v.bottom - v.top, QImage::Format_ARGB32);
    whole.fill(Qt::black);
    bool any = false;
    {
        QPainter painter(&whole);
        for (QScreen* s : QGuiApplication::screens()) {
            QImage part = s->grabWindow(0).toImage();
            if (part.isNull()) continue;
            part.setDevicePixelRatio(1);
            painter.drawImage(s->geometry().topLeft() - QPoint(v.left, v.top), part);
            any = true;
        }
    }
    if (!any) return {};
    return FromQImage(whole);
}

}  // namespace velmora::platform
