#include "CaptureSchedule.h"

#include <algorithm>

namespace corvala::engine {

CaptureSchedule::CaptureSchedule(Clock::duration period, Clock::duration keepAlive, Clock::duration repeat, Now now)
    : period_(period), keepAlive_(keepAlive), repeat_(repeat), now_(std::move(now)), lastLook_(now_() - period_) {}

bool CaptureSchedule::keepAliveDue() const { return sent_ && now() - lastFresh_ >= keepAlive_; }

CaptureSchedule::TimePoint CaptureSchedule::keepAliveAt() const {
  // Before the first frame there is nothing to keep alive: the source keeps
  // looking once a keep-alive in case its report of the first picture is lost.
  return std::max(sent_ ? lastFresh_ + keepAlive_ : lastLook_ + keepAlive_, nextLook());
}

bool CaptureSchedule::repeatDue() const {
  const TimePoint at = now();
  return !sent_ || at - lastSent_ >= repeat_ || at < welcomeUntil_;
}

void CaptureSchedule::frameSent() {
  lastSent_ = lastFresh_ = now();
  sent_ = true;
}

}  // namespace corvala::engine
