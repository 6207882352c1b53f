#include "platform/qt/QtActivation.h"

#include <qpa/qplatformwindow.h>

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace velmora::platform::qt {

void KeepActivationExplicit(QGuiApplication& app) {
    // The platform connects a functor with the application as its context; the program
    // itself never connects to this signal there.
    QObject::disconnect(&app, &QGuiApplication::focusObjectChanged, &app, nullptr);
}

bool HoldsFocus(const QWidget& window) {
    const bool wayland = QGuiApplication::platformName() == QLatin1String("wayland");
    const QWidget* top = window.window();
    if (!wayland) return top->isActiveWindow();
    const QWindow* handle = top->windowHandle();
    return handle && handle->handle() && handle->handle()->isActive();
}

}  // namespace velmora::platform::qt
