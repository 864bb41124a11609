// When the capture loop of a local video source looks at its picture. A
// change after a quiet period is looked at at once (waiting for the next
// tick of a fixed grid would add up to a whole period to every change on a
// quiet screen); changes in quick succession are coalesced into one look a
// period after the previous one, so frames never come faster than the rate;
// a picture that does not change goes out again once a keep-alive. The
// clock is injected, so the loop can run on a clock a test moves.
#pragma once

#include <chrono>
#include <functional>

namespace corvala::engine {

class CaptureSchedule {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;
  using Now = std::function<TimePoint()>;

  CaptureSchedule(Clock::duration period, Clock::duration keepAlive, Now now = &Clock::now);

  TimePoint now() const { return now_(); }
  // The last frame went out a keep-alive ago: the next look must capture
  // and send even if no change was reported.
  bool keepAliveDue() const;
  // Until then the loop waits for a change report.
  TimePoint keepAliveAt() const;
  // The earliest time for the next look: one period after the previous.
  TimePoint nextLook() const { return lastLook_ + period_; }

  void looked() { lastLook_ = now(); }
  void frameSent() {
    lastSent_ = now();
    sent_ = true;
  }

 private:
  const Clock::duration period_, keepAlive_;
  const Now now_;
  TimePoint lastLook_;
  TimePoint lastSent_;
  bool sent_ = false;
};

}  // namespace corvala::engine
