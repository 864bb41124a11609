#include "ReceiveBudget.h"

namespace corvala::engine {

bool ReceiveBudget::take(size_t bytes) {
  std::lock_guard lock(mutex_);
  if (messages_ + 1 > maxMessages_ || bytes > maxBytes_ - bytes_) return false;
  bytes_ += bytes;
  ++messages_;
  return true;
}

void ReceiveBudget::give(size_t bytes) {
  std::lock_guard lock(mutex_);
  bytes_ -= bytes <= bytes_ ? bytes : bytes_;
  if (messages_ > 0) --messages_;
}

size_t ReceiveBudget::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

size_t ReceiveBudget::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

}  // namespace corvala::engine
