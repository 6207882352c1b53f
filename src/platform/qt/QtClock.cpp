#include "platform/SystemClock.h"

#include <QDateTime>
#include <chrono>

namespace velmora::platform {

std::int64_t SystemClock::NowMs() {
    QDateTime now = QDateTime::currentDateTime();
    return now.toMSecsSinceEpoch() + static_cast<std::int64_t>(now.offsetFromUtc()) * 1000;
}

std::int64_t SystemClock::SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

LocalTime SystemClock::NowLocal() {
    QDateTime now = QDateTime::currentDateTime();
    QDate d = now.date();
    QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

}  // namespace velmora::platform
