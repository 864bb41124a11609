#pragma once
// Date-times as the program keeps them: days since 30 December 1899 as a
// double, the fraction being the time of day, local time.

namespace corvala {

double NowDateTime();

// Now in the same form, but taken from the monotonic clock: the local time of
// the first call plus the time elapsed since. It never goes back when the
// local time does, costs no time-zone lookup, and is safe on any thread;
// the replay tables stamp their slots with it.
double MonotonicDateTime();

// Whole seconds from `earlier` to `later` (truncated; 0 when not later).
long long WholeSecondsBetween(double later, double earlier);

inline constexpr double MillisecondsPerDay = 86400000.0;

}  // namespace corvala
