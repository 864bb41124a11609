#pragma once
// Date-times as the program keeps them: days since 30 December 1899 as a
// double, the fraction being the time of day, local time.

namespace corvala {

double NowDateTime();

// Whole seconds from `earlier` to `later` (truncated; 0 when not later).
long long WholeSecondsBetween(double later, double earlier);

inline constexpr double MillisecondsPerDay = 86400000.0;

}  // namespace corvala
