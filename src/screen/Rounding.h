#pragma once
// The program rounds to the nearest integer and, at exactly one half, to the
// even one (1.5 -> 2, 2.5 -> 2), as the coordinate mapping and the picture
// layout require. std::nearbyint does that in the default rounding mode,
// which nothing in this program changes.

#include <cmath>

namespace corvala {

inline int RoundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

}  // namespace corvala
