#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace velmora::platform::qt {

QtEventLoop::~QtEventLoop() {
    StopAside();
}

void QtEventLoop::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
}

void QtEventLoop::After(int ms, std::function<void()> fn) {
    QTimer::singleShot(std::max(ms, 0), Qt::PreciseTimer, &context_, std::move(fn));
}

void QtEventLoop::DispatchFor(int ms) {
    if (ms <= 0) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool QtEventLoop::DispatchUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    DispatchFor(0);
    while (!done()) {
        qint64 left = timeoutMs - elapsed.elapsed();
        if (left <= 0) return done();
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(std::min<qint64>(left, kPollMs)));
        waiting_.push_back(&loop);
        loop.exec();
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), &loop));
    }
    return true;
}

void QtEventLoop::Wake() {
    // Every waiter re-checks its condition; outer ones do so once the inner ones return.
    for (QEventLoop* loop : waiting_) loop->quit();
}

}  // namespace velmora::platform::qt
