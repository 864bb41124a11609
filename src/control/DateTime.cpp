#include "control/DateTime.h"

#include <QDateTime>

#include <chrono>
#include <cmath>

namespace corvala {

double NowDateTime() {
    static const QDate epoch(1899, 12, 30);
    const QDateTime now = QDateTime::currentDateTime();
    const double days = static_cast<double>(epoch.daysTo(now.date()));
    return days + now.time().msecsSinceStartOfDay() / MillisecondsPerDay;
}

double MonotonicDateTime() {
    struct Base {
        double dateTime = NowDateTime();
        std::chrono::steady_clock::time_point time = std::chrono::steady_clock::now();
    };
    static const Base base;
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - base.time;
    return base.dateTime + elapsed.count() / MillisecondsPerDay;
}

long long WholeSecondsBetween(double later, double earlier) {
    const long long ms = std::llround((later - earlier) * MillisecondsPerDay);
    return ms > 0 ? ms / 1000 : 0;
}

}  // namespace corvala
