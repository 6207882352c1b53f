#pragma once

#include <QEvent>
#include <QMouseEvent>
#include <QObject>
#include <QWidget>
#include <cstdio>

namespace imsim {

// Writes every mouse press and release the program receives to the standard error, with the
// widget and the place: where a test's click went when a send did not happen.
class ClickLog : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress &&
            event->type() != QEvent::MouseButtonRelease)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget) return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        std::fprintf(stderr, "imsim: mouse %s on %s (%s) at %d,%d\n",
                     event->type() == QEvent::MouseButtonPress ? "press" : "release",
                     qPrintable(widget->objectName()), widget->metaObject()->className(),
                     mouse->position().toPoint().x(), mouse->position().toPoint().y());
        std::fflush(stderr);
        return false;
    }
};

}  // namespace imsim
