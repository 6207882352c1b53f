#include "platform/qt/QtClock.h"

#include <QDateTime>
#include <chrono>

namespace velmora::platform::qt {

std::int64_t QtClock::NowMs() {
    QDateTime now = QDateTime::currentDateTime();
    return now.toMSecsSinceEpoch() + static_cast<std::int64_t>(now.offsetFromUtc()) * 1000;
}

std::int64_t QtClock::SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t QtClock::NowSeconds() {
    return NowMs() / 1000;
}

LocalTime QtClock::NowLocal() {
    QDateTime now = QDateTime::currentDateTime();
    QDate d = now.date();
    QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

double QtClock::SecondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

}  // namespace velmora::platform::qt
