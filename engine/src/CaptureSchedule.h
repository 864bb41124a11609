// When the capture loop of a local video source looks at its picture. A
// change after a quiet period is looked at at once (waiting for the next
// tick of a fixed grid would add up to a whole period to every change on a
// quiet screen); changes in quick succession are coalesced into one look a
// period after the previous one, so frames never come faster than the rate.
// A quiet picture is captured afresh once a keep-alive (a change whose report
// was lost shows then), but sent again unchanged only once a repeat: each
// frame sent costs a whole encode on the host and a decode and paint on
// every viewer. During a repeat after a consumer joined, every keep-alive is
// sent, so a newcomer (whose encoder starts only once its answer arrives)
// gets its first picture within a keep-alive. The clock is injected, so the
// loop can run on a clock a test moves.
#pragma once

#include <chrono>
#include <functional>

namespace corvala::engine {

class CaptureSchedule {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;
  using Now = std::function<TimePoint()>;

  CaptureSchedule(Clock::duration period, Clock::duration keepAlive, Clock::duration repeat, Now now = &Clock::now);

  TimePoint now() const { return now_(); }
  // A keep-alive since the last frame or fresh capture: the next look must
  // capture even if no change was reported.
  bool keepAliveDue() const;
  // Until then the loop waits for a change report.
  TimePoint keepAliveAt() const;
  // The earliest time for the next look: one period after the previous one
  // that counts for the rate.
  TimePoint nextLook() const { return lastLook_ + period_; }
  // Whether an unchanged picture goes out again now.
  bool repeatDue() const;

  // A look at `at` that sent a frame or was asked for by a change report
  // counts for the rate; a keep-alive's look that found nothing new does
  // not hold back a change that comes right after it.
  void looked(TimePoint at) { lastLook_ = at; }
  void refreshed() { lastFresh_ = now(); }
  void frameSent();
  void consumerJoined() { welcomeUntil_ = now() + repeat_; }

 private:
  const Clock::duration period_, keepAlive_, repeat_;
  const Now now_;
  TimePoint lastLook_;
  TimePoint lastFresh_;  // last frame sent or fresh capture
  TimePoint lastSent_;
  TimePoint welcomeUntil_;
  bool sent_ = false;
};

}  // namespace corvala::engine
