// The capture loop of every local video source, around a source whose
// "screen" the test paints and whose change reports it controls: what a
// consumer (a peer's sender) gets when a change is reported, when the report
// is lost, and when nothing changes at all.
#include <gtest/gtest.h>

#include "VideoSource.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
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
