#include "target/qt/frmSnapShot.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "platform/qt/QtClipboard.h"

namespace velmora::target {

SnapShotWindow::SnapShotWindow(QImage picture) : picture_(std::move(picture)) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::X11BypassWindowManagerHint);
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    setWindowTitle(QStringLiteral("frmSnapShot"));
}

void SnapShotWindow::paintEvent(QPaintEvent*) {
    // The grab only succeeds once the window is viewable; the first paint means it is.
    if (!keyboardGrabbed_) TryGrabKeyboard();
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    // Unscaled, from the top-left corner: a point of the picture is the same screen point.
    if (!picture_.isNull()) painter.drawImage(QPoint(0, 0), picture_);
}

void SnapShotWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Without a window manager's focus the overlay would never hear Esc.
    activateWindow();
    TryGrabKeyboard();
}

void SnapShotWindow::TryGrabKeyboard() {
    if (QWindow* w = windowHandle()) keyboardGrabbed_ = w->setKeyboardGrabEnabled(true);
}

void SnapShotWindow::ReleaseKeyboard() {
    if (QWindow* w = windowHandle(); w && keyboardGrabbed_) w->setKeyboardGrabEnabled(false);
    keyboardGrabbed_ = false;
}

void SnapShotWindow::mousePressEvent(QMouseEvent* e) {
    if (pressed) return;
    pressed = e->position().toPoint();
    ReleaseKeyboard();
    hide();
    emit finished();
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
    window_ = new SnapShotWindow(platform::qt::ToQImage(picture));
    window_->setGeometry(cover.left, cover.top, cover.right - cover.left, cover.bottom - cover.top);
    window_->winId();  // the native window exists before it is shown

    QEventLoop wait;
    QObject::connect(window_, &SnapShotWindow::finished, &wait, &QEventLoop::quit);
    window_->show();
    window_->raise();
    wait.exec();

    if (!window_->pressed) return std::nullopt;
    return platform::Point{window_->pressed->x(), window_->pressed->y()};
}

platform::WinHandle frmSnapShot::WindowId() {
    return window_ ? static_cast<platform::WinHandle>(window_->winId()) : 0;
}

void frmSnapShot::DestroyWindow() {
    delete window_;
    window_ = nullptr;
}

}  // namespace velmora::target
