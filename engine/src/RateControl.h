// The rate-control rule, apart from the plumbing that feeds it.
#pragma once

#include <algorithm>

namespace corvala::engine {

// Next encoder target for a connection whose video should stay at `nominal`
// bit/s, given the current encoder target and the measured rate.
// Over budget: scale the target down in proportion. Under 90 % (idle or
// simple content): creep back up by 10 % a step. Never below a quarter of
// nominal, never above nominal.
inline int correctedBitrate(int nominal, int current, double measured) {
  if (nominal <= 0) return current;
  if (current <= 0) current = nominal;
  double next = current;
  if (measured > nominal * 1.05)
    next = double(current) * nominal / measured;
  else if (measured < nominal * 0.9)
    next = current * 1.1;
  return int(std::clamp(next, nominal * 0.25, double(nominal)));
}

}  // namespace corvala::engine
