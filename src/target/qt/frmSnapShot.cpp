#include "target/qt/frmSnapShot.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>

#include "platform/qt/QtClipboard.h"

namespace velmora::target {

SnapShotWindow::SnapShotWindow(QImage picture, QPoint deviceOrigin, bool grabsKeyboard)
    : picture_(std::move(picture)), deviceOrigin_(deviceOrigin), grabsKeyboard_(grabsKeyboard) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::X11BypassWindowManagerHint);
    // One modal window: Qt blocks every window but the last modal one. The others are made
    // its transient children, which a modal window does not block.
    if (grabsKeyboard_) setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    setWindowTitle(QStringLiteral("frmSnapShot"));
}

void SnapShotWindow::paintEvent(QPaintEvent*) {
    // The grab only succeeds once the window is viewable; the first paint means it is.
    if (!keyboardGrabbed_) TryGrabKeyboard();
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    // Unscaled, from the top-left corner: a point of the picture is the same screen point. The
    // picture is in device pixels, so it is drawn at the window's ratio, pixel for pixel.
    if (!picture_.isNull()) {
        picture_.setDevicePixelRatio(devicePixelRatioF());
        painter.drawImage(QPointF(0, 0), picture_);
    }
}

void SnapShotWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Without a window manager's focus the overlay would never hear Esc.
    activateWindow();
    TryGrabKeyboard();
}

void SnapShotWindow::TryGrabKeyboard() {
    if (!grabsKeyboard_) return;
    if (QWindow* w = windowHandle()) keyboardGrabbed_ = w->setKeyboardGrabEnabled(true);
}

void SnapShotWindow::ReleaseKeyboard() {
    if (QWindow* w = windowHandle(); w && keyboardGrabbed_) w->setKeyboardGrabEnabled(false);
    keyboardGrabbed_ = false;
}

bool SnapShotWindow::eventFilter(QObject* watched, QEvent* e) {
    // Read at the native window, before QWidget rounds it: the position is still fractional
    // there, so multiplied by the ratio it gives back the device pixel exactly.
    if (e->type() != QEvent::MouseButtonPress || watched != windowHandle())
        return QWidget::eventFilter(watched, e);
    if (pressed) return true;
    QPointF device = static_cast<QMouseEvent*>(e)->position() * windowHandle()->devicePixelRatio();
    pressed = deviceOrigin_ + QPoint(qRound(device.x()), qRound(device.y()));
    ReleaseKeyboard();
    hide();
    emit finished();
    return true;
}

void SnapShotWindow::keyPressEvent(QKeyEvent* e) {
    bool altF4 = e->key() == Qt::Key_F4 && (e->modifiers() & Qt::AltModifier);
    if (e->key() == Qt::Key_Escape || altF4) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void SnapShotWindow::closeEvent(QCloseEvent* e) {
    ReleaseKeyboard();
    QWidget::closeEvent(e);
    emit finished();
}

frmSnapShot::~frmSnapShot() {
    DestroyWindow();
}

std::optional<platform::Point> frmSnapShot::ShowModal(const platform::Rect& cover,
                                                      const platform::Bitmap& picture) {
    DestroyWindow();
    const QImage whole = platform::qt::ToQImage(picture);
    const QPoint corner(cover.left, cover.top);
    // A part of the overlay: where Qt puts a window, through which screen, and which part of
    // the picture (device pixels, from the cover's corner) it shows.
    struct Part {
        QRect logical;
        QScreen* screen;
        QRect device;
    };
    std::vector<Part> parts;
    const auto screens = QGuiApplication::screens();
    const bool unscaled = std::all_of(screens.begin(), screens.end(), [](const QScreen* s) {
        return s->devicePixelRatio() == 1.0;
    });
    // A Wayland client cannot place its windows: each screen gets its own, full screen there.
    const bool placeable = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (unscaled && placeable) {
        // Qt's coordinates are device pixels: one window covers the whole desktop, the corners
        // outside every screen included.
        const QRect all(corner, QSize(cover.right - cover.left, cover.bottom - cover.top));
        QScreen* at = QGuiApplication::screenAt(corner);
        parts.push_back({all, at ? at : QGuiApplication::primaryScreen(), all.translated(-corner)});
    } else {
        for (QScreen* screen : screens) {
            // Qt keeps a screen's top-left corner in device pixels and divides its size by the
            // ratio; a window at the screen's own geometry maps back onto exactly that screen.
            const QRect logical = screen->geometry();
            const qreal dpr = screen->devicePixelRatio();
            parts.push_back(
                {logical, screen,
                 QRect(logical.topLeft() - corner,
                       QSize(qRound(logical.width() * dpr), qRound(logical.height() * dpr)))});
        }
    }
    QEventLoop wait;
    for (const Part& part : parts) {
        auto* w = new SnapShotWindow(whole.isNull() ? QImage() : whole.copy(part.device),
                                     part.device.topLeft(), windows_.empty());
        windows_.push_back(w);
        if (part.screen) w->setScreen(part.screen);
        w->setGeometry(part.logical);
        if (!placeable) w->setWindowState(Qt::WindowFullScreen);
        w->winId();  // the native window exists before it is shown
        w->windowHandle()->installEventFilter(w);
        if (w != windows_.front())
            w->windowHandle()->setTransientParent(windows_.front()->windowHandle());
        QObject::connect(w, &SnapShotWindow::finished, &wait, &QEventLoop::quit);
    }
    if (windows_.empty()) return std::nullopt;
    for (SnapShotWindow* w : windows_) {
        w->show();
        w->raise();
    }
    wait.exec();

    std::optional<platform::Point> press;
    for (SnapShotWindow* w : windows_) {
        // Every screen's part goes, not only the pressed one, before the caller looks at what
        // lies under the point.
        w->hide();
        if (w->pressed && !press) press = platform::Point{w->pressed->x(), w->pressed->y()};
    }
    return press;
}

platform::WinHandle frmSnapShot::WindowId() {
    if (windows_.empty()) return 0;
    SnapShotWindow* chosen = windows_.front();
    for (SnapShotWindow* w : windows_)
        if (w->pressed) chosen = w;
    return static_cast<platform::WinHandle>(chosen->winId());
}

void frmSnapShot::DestroyWindow() {
    for (SnapShotWindow* w : windows_) delete w;
    windows_.clear();
}

}  // namespace velmora::target
