#include "control/DateTime.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>

namespace corvala {

double NowDateTime() {
    static const QDate epoch(1899, 12, 30);
    const QDateTime now = QDateTime::currentDateTime();
    const double days = static_cast<double>(epoch.daysTo(now.date()));
    return days + now.time().msecsSinceStartOfDay() / MillisecondsPerDay;
}

long long WholeSecondsBetween(double later, double earlier) {
    const long long ms = std::llround((later - earlier) * MillisecondsPerDay);
    return ms > 0 ? ms / 1000 : 0;
}

}  // namespace corvala
