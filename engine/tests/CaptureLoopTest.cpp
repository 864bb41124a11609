// The capture loop of every local video source, around a source whose
// "screen" the test paints and whose change reports it controls: what a
// consumer (a peer's sender) gets when a change is reported, when the report
// is lost, and when nothing changes at all; and, on a clock of the test's
// own, when the loop looks at the screen.
#include <gtest/gtest.h>

#include "VideoSource.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace corvala::engine;
using namespace std::chrono_literals;

namespace {

constexpr int kSide = 8;
constexpr auto kKeepAlive = 100ms;

// Like the screen source: captures only after a reported change (or when
// the keep-alive asks for a fresh picture), otherwise reports "nothing new".
class PaintedScreen : public VideoSource {
 public:
  PaintedScreen() : VideoSource(kSide, kSide, 50, kKeepAlive) {}
  ~PaintedScreen() override { shutdown(); }

  // A change of the picture, with or without its change report.
  void paint(uint32_t colour, bool reported) {
    std::lock_guard lock(mutex_);
    colour_ = colour;
    if (reported) dirty_ = true;
  }

 protected:
  GstBuffer* grab(int& width, int& height) override {
    std::lock_guard lock(mutex_);
    if (!dirty_) return nullptr;
    dirty_ = false;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kSide * kSide * 4, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    for (int i = 0; i < kSide * kSide; ++i) std::memcpy(map.data + i * 4, &colour_, 4);
    gst_buffer_unmap(buffer, &map);
    width = height = kSide;
    return buffer;
  }
  void refresh() override {
    std::lock_guard lock(mutex_);
    dirty_ = true;
  }

 private:
  std::mutex mutex_;
  uint32_t colour_ = 0;
  bool dirty_ = true;
};

// Records the colour of every frame handed over.
class Viewer : public FrameConsumer {
 public:
  void onFrame(GstBuffer* frame, int, int) override {
    uint32_t colour = 0;
    gst_buffer_extract(frame, 0, &colour, sizeof colour);
    {
      std::lock_guard lock(mutex_);
      colours_.push_back(colour);
    }
    changed_.notify_all();
  }
  // Waits (generously: this is not a clock) until `count` frames of that
  // colour arrived.
  bool waitFor(uint32_t colour, int count = 1) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] {
      return std::count(colours_.begin(), colours_.end(), colour) >= count;
    });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint32_t> colours_;
};

class CaptureLoopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
  void TearDown() override { screen.removeConsumer(&viewer); }
  PaintedScreen screen;
  Viewer viewer;
};

}  // namespace

// A change reaches the consumer whether the change report came or was lost
// (the lost one through the keep-alive's fresh capture: repeating the
// previous frame would keep the old picture on the viewer for good), and a
// screen that does not change keeps sending its picture.
TEST_F(CaptureLoopTest, EveryChangeArrivesAndAnIdleScreenKeepsSending) {
  screen.paint(0x111111, true);
  screen.addConsumer(&viewer);
  ASSERT_TRUE(viewer.waitFor(0x111111));

  const struct {
    const char* what;
    uint32_t colour;
    bool reported;
  } cases[] = {
      {"reported change", 0x222222, true},
      {"change whose report was lost", 0x333333, false},
      {"reported change after a lost one", 0x444444, true},
      {"lost report again", 0x555555, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    screen.paint(c.colour, c.reported);
    EXPECT_TRUE(viewer.waitFor(c.colour));
  }
  // Idle: the last picture keeps coming, once a keep-alive.
  EXPECT_TRUE(viewer.waitFor(0x555555, 3));
}

namespace {

using Ms = std::chrono::milliseconds;
using TimePoint = CaptureSchedule::TimePoint;

// The capture loop's clock, moved only by the loop's own waits.
struct FakeClock {
  std::atomic<int64_t> ms{0};
  TimePoint now() const { return TimePoint(Ms(ms.load())); }
};

// A screen whose changes come at scripted times of the fake clock. Its
// change reports arrive at once (like DAMAGE); waiting moves the clock to the
// next change or the deadline. At the end of the script the loop is held
// until the test stops it. Each frame carries how many changes it shows.
class ScriptedScreen : public VideoSource {
 public:
  // `joins`: when another receiver starts to take the frames.
  ScriptedScreen(FakeClock& clock, std::vector<int> changes, std::vector<int> joins, int end)
      : VideoSource(kSide, kSide, 10, Ms(1000), [&clock] { return clock.now(); }),
        clock_(clock), changes_(std::move(changes)), joins_(std::move(joins)), end_(end) {}
  ~ScriptedScreen() override { shutdown(); }

  void waitUntilScriptEnds() {
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(ended_.wait_for(lock, 10s, [&] { return finished_; }));
  }
  int looks() const { return looks_; }

 protected:
  GstBuffer* grab(int& width, int& height) override {
    ++looks_;
    const int now = int(clock_.ms);
    const bool changed = shown_ < int(changes_.size()) && changes_[shown_] <= now;
    if (!changed && !refreshed_) return nullptr;
    refreshed_ = false;
    while (shown_ < int(changes_.size()) && changes_[shown_] <= now) ++shown_;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kSide * kSide * 4, nullptr);
    const uint32_t count = shown_;
    gst_buffer_memset(buffer, 0, 0, kSide * kSide * 4);
    gst_buffer_fill(buffer, 0, &count, sizeof count);
    width = height = kSide;
    return buffer;
  }
  void refresh() override { refreshed_ = true; }
  bool waitForChange(TimePoint deadline) override {
    const int next = shown_ < int(changes_.size()) ? changes_[shown_] : INT32_MAX;
    const int at = int(std::chrono::duration_cast<Ms>(deadline.time_since_epoch()).count());
    if (!moveTo(std::min(next, at))) return false;
    return next <= clock_.ms;
  }
  void waitForNextFrame(TimePoint deadline) override {
    moveTo(int(std::chrono::duration_cast<Ms>(deadline.time_since_epoch()).count()));
  }

 private:
  // False once the script is over: then holds the loop until it stops.
  bool moveTo(int ms) {
    if (ms <= end_) {
      for (int join : joins_)
        if (join > clock_.ms && join <= ms) welcome();
      clock_.ms = std::max<int64_t>(clock_.ms, ms);
      return true;
    }
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    ended_.notify_all();
    while (!stopRequested()) std::this_thread::sleep_for(1ms);
    return false;
  }

  FakeClock& clock_;
  const std::vector<int> changes_, joins_;
  const int end_;
  int shown_ = 0;
  bool refreshed_ = true;  // the first look captures, as on a real screen
  std::atomic<int> looks_{0};
  std::mutex mutex_;
  std::condition_variable ended_;
  bool finished_ = false;
};

// When each frame went out (fake clock) and how many changes it showed.
class Recorder : public FrameConsumer {
 public:
  explicit Recorder(const FakeClock& clock) : clock_(clock) {}
  void onFrame(GstBuffer* frame, int, int) override {
    uint32_t count = 0;
    gst_buffer_extract(frame, 0, &count, sizeof count);
    times.push_back(int(clock_.ms));
    counts.push_back(int(count));
  }
  std::vector<int> times, counts;  // read after the loop has stopped

 private:
  const FakeClock& clock_;
};

}  // namespace

// 10 frames a second (a look at most every 100 ms), keep-alive 1 s. A change
// after a quiet period goes out at the moment it is reported, not at the
// next tick; a burst of changes goes out at most once a period, and its last
// change within a period; a quiet screen is looked at only by the keep-alive,
// and its unchanged picture is not encoded again at every keep-alive.
TEST(CaptureScheduleTest, ChangesAreCapturedAtOnceAndCoalescedWithinTheRate) {
  gst_init(nullptr, nullptr);
  std::vector<int> burst;
  for (int t = 500; t < 1000; t += 10) burst.push_back(t);
  const struct {
    const char* what;
    std::vector<int> changes;
    std::vector<int> joins;
    int end;
    std::vector<int> frames;  // when frames go out
    int looks;                // grab() calls, frames included
  } cases[] = {
      {"one change after a quiet period", {2350}, {}, 3000, {0, 1000, 2000, 2350}, 4},
      {"changes 10 ms apart", burst, {}, 2500, {0, 500, 600, 700, 800, 900, 1000, 2000}, 8},
      {"two changes, the second within the period", {1500, 1530}, {}, 2000, {0, 1000, 1500, 1600}, 4},
      // Captured afresh every keep-alive; unchanged, sent again every
      // keep-alive only while the consumer is new, then every third.
      {"quiet screen", {}, {}, 9500, {0, 1000, 2000, 5000, 8000}, 10},
      {"change right after a keep-alive that sent nothing", {4030}, {}, 4500, {0, 1000, 2000, 4030}, 6},
      {"another receiver joins a quiet screen", {}, {5500}, 9500, {0, 1000, 2000, 5000, 6000, 7000, 8000}, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    ScriptedScreen screen(clock, c.changes, c.joins, c.end);
    Recorder recorder(clock);
    screen.addConsumer(&recorder);
    screen.waitUntilScriptEnds();
    screen.removeConsumer(&recorder);
    EXPECT_EQ(recorder.times, c.frames);
    EXPECT_EQ(screen.looks(), c.looks);
    for (size_t i = 1; i < recorder.times.size(); ++i)
      EXPECT_GE(recorder.times[i] - recorder.times[i - 1], 100) << "frames faster than the rate";
    ASSERT_FALSE(recorder.counts.empty());
    EXPECT_EQ(recorder.counts.back(), int(c.changes.size())) << "the last change never went out";
  }
}
