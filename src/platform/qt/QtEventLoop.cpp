#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <thread>

namespace velmora::platform::qt {

QtEventLoop::~QtEventLoop() {
    // Work run aside may still be waiting on the network: it gives up at its next turn.
    RequestCancel();
    aside_.JoinAll();
}

void QtEventLoop::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
}

void QtEventLoop::After(int ms, std::function<void()> fn) {
    QTimer::singleShot(std::max(ms, 0), Qt::PreciseTimer, &context_, std::move(fn));
}

void QtEventLoop::RunAside(std::function<void()> work, std::function<void()> done) {
    aside_.Run(*this, std::move(work), std::move(done));
}

void QtEventLoop::Yield() {
    if (!OnLoopThread()) return;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventLoop::Wait(int ms) {
    if (!OnLoopThread()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 0)));
        return;
    }
    if (ms <= 0) {
        Yield();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool QtEventLoop::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    if (!OnLoopThread()) {
        while (!done()) {
            if (elapsed.elapsed() >= timeoutMs) return done();
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        }
        return true;
    }
    Yield();
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
