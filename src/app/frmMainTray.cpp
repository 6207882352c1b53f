#include "app/frmMainTray.h"

#include <QMouseEvent>
#include <QString>

namespace velmora::app {

void QtTrayIcon::Add() {
    if (!tray_) {
        tray_ = new QSystemTrayIcon(icon_, &owner_);
        tray_->setObjectName(QStringLiteral("TrayIcon"));
        tray_->setToolTip(QStringLiteral("Quillet"));
        // Where the tray is not an X11 embedded widget, the tray API's own reasons stand in.
        QObject::connect(tray_, &QSystemTrayIcon::activated, &owner_, [this](auto reason) {
            if (trayWidgetSeen_) return;
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                clicked_(true);
            else if (reason == QSystemTrayIcon::Context)
                clicked_(false);
        });
    }
    tray_->show();  // a second show leaves the one icon as it is
}

void QtTrayIcon::Remove() {
    if (tray_) tray_->hide();
}

void QtTrayIcon::Message(const std::u16string& title, const std::u16string& text) {
    if (tray_)
        tray_->showMessage(QString::fromStdU16String(title), QString::fromStdU16String(text));
}

bool QtTrayIcon::Filter(QObject* watched, QEvent* event) {
    // Qt's X11 tray widget acts on the press; the program acts on the release, so the press
    // is held back here and the release decides.
    if (!tray_ || !watched->isWidgetType() ||
        qstrcmp(watched->metaObject()->className(), "QSystemTrayIconSys") != 0)
        return false;
    trayWidgetSeen_ = true;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return true;
        case QEvent::MouseButtonRelease: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() == Qt::LeftButton) clicked_(true);
            if (me->button() == Qt::RightButton) clicked_(false);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace velmora::app
