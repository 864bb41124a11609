#pragma once
// The program rounds to the nearest integer and, at exactly one half, to the
// even one (1.5 -> 2, 2.5 -> 2), as the coordinate mapping and the picture
// layout require. std::nearbyint does that in the default rounding mode,
// which nothing in this program changes.

#include <cmath>
#include <limits>

namespace corvala {

// Values beyond the int range (a remote peer's absurd coordinates) saturate
// instead of overflowing the conversion.
inline int RoundHalfEven(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();  // also NaN
    if (rounded > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(rounded);
}

}  // namespace corvala
