#include "CaptureSchedule.h"

#include <algorithm>

namespace corvala::engine {

CaptureSchedule::CaptureSchedule(Clock::duration period, Clock::duration keepAlive, Now now)
    : period_(period), keepAlive_(keepAlive), now_(std::move(now)), lastLook_(now_() - period_) {}

bool CaptureSchedule::keepAliveDue() const { return sent_ && now() - lastSent_ >= keepAlive_; }

CaptureSchedule::TimePoint CaptureSchedule::keepAliveAt() const {
  // Before the first frame there is nothing to keep alive: the source keeps
  // looking once a keep-alive in case its report of the first picture is lost.
  return std::max(sent_ ? lastSent_ + keepAlive_ : lastLook_ + keepAlive_, nextLook());
}

}  // namespace corvala::engine
