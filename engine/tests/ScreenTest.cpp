// The screen (999) and window (998) sources on a private Xvfb display: what
// is painted there arrives at the other peer's renderer.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "XvfbDisplay.h"

using namespace engine_test;
using namespace std::chrono_literals;

namespace {

struct Rgb {
  int r, g, b;
};

Rgb centreOf(const Frame& frame) {
  const uint8_t* p = frame.pixels.data() + (size_t(frame.height / 2) * frame.width + frame.width / 2) * 4;
  return {p[2], p[1], p[0]};
}

bool near(Rgb c, unsigned long rgb) {
  const int r = int(rgb >> 16) & 255, g = int(rgb >> 8) & 255, b = int(rgb) & 255;
  return std::abs(c.r - r) < 40 && std::abs(c.g - g) < 40 && std::abs(c.b - b) < 40;
}

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(x.ok()) << "Xvfb did not start"; }

  // Peer a sends the given source; peer b renders it.
  std::unique_ptr<PeerPair> sendSource(int sourceId, unsigned long window, int width, int height) {
    return std::make_unique<PeerPair>([=, this](Engine& e, rtc_handle factory) {
      source = e.rtc_create_source(width, height, 10, sourceId, window);
      const rtc_handle stream = e.rtc_create_stream(factory, "ARDAMS");
      if (source) e.rtc_add_videotrack(stream, e.rtc_create_videotrack(factory, source, "ARDAMSv0"));
      return stream;
    });
  }
  void TearDown() override {
    pair.reset();
    Engine::get().rtc_destroy_source(source);
  }

  bool waitForCentre(unsigned long rgb) {
    return pollUntil([&] {
      const Frame f = pair->b->lastFrame();
      return !f.pixels.empty() && near(centreOf(f), rgb);
    });
  }

  XvfbDisplay x{640, 480};
  rtc_handle source = 0;
  std::unique_ptr<PeerPair> pair;
};

}  // namespace

TEST_F(ScreenTest, WholeScreenArrivesAndFollowsChanges) {
  x.paintRoot(0xFF8000);
  pair = sendSource(RTC_SOURCE_SCREEN, 0, 640, 480);
  ASSERT_NE(source, 0u);
  ASSERT_TRUE(pair->waitConnected());
  ASSERT_TRUE(pair->b->waitForFrames(1));
  const Frame first = pair->b->lastFrame();
  EXPECT_EQ(first.width, 640);
  EXPECT_EQ(first.height, 480);
  EXPECT_TRUE(waitForCentre(0xFF8000));
  // A change on an otherwise idle screen comes through (damage-driven).
  x.paintRoot(0x00C0FF);
  EXPECT_TRUE(waitForCentre(0x00C0FF));
}

TEST_F(ScreenTest, LargerScreenIsScaledDownToTheLimits) {
  x.paintRoot(0x20FF20);
  pair = sendSource(RTC_SOURCE_SCREEN, 0, 320, 320);
  ASSERT_TRUE(pair->waitConnected());
  ASSERT_TRUE(pair->b->waitForFrames(1));
  const Frame frame = pair->b->lastFrame();
  EXPECT_EQ(frame.width, 320);
  EXPECT_EQ(frame.height, 240);
  EXPECT_TRUE(waitForCentre(0x20FF20));
}

// Xlib's default error handler ends the process when a captured window is
// unmapped or destroyed; the source must survive both and keep the peer's
// picture alive (the last frame is repeated).
TEST_F(ScreenTest, WindowSourceSurvivesUnmapAndDestroy) {
  x.paintRoot(0x000000);
  const Window window = x.createWindow(50, 40, 200, 150, 0xFF0000);
  pair = sendSource(RTC_SOURCE_WINDOW, window, 640, 480);
  ASSERT_NE(source, 0u);
  ASSERT_TRUE(pair->waitConnected());
  ASSERT_TRUE(pair->b->waitForFrames(1));
  EXPECT_EQ(pair->b->lastFrame().width, 200);
  EXPECT_EQ(pair->b->lastFrame().height, 150);
  EXPECT_TRUE(waitForCentre(0xFF0000));

  // A new size is announced again before frames of that size.
  XResizeWindow(x.display(), window, 240, 160);
  x.fillWindow(window, 0x0000FF);
  EXPECT_TRUE(pollUntil([&] { return pair->b->lastFrame().width == 240; }));
  EXPECT_EQ(pair->b->lastFrame().height, 160);
  EXPECT_GE(pair->b->sizeAnnouncements(), 2);
  EXPECT_TRUE(waitForCentre(0x0000FF));

  XUnmapWindow(x.display(), window);
  XSync(x.display(), False);
  int frames = pair->b->frameCount();
  EXPECT_TRUE(pair->b->waitForFrames(frames + 2));
  XMapWindow(x.display(), window);
  XSync(x.display(), False);
  XDestroyWindow(x.display(), window);
  XSync(x.display(), False);
  frames = pair->b->frameCount();
  EXPECT_TRUE(pair->b->waitForFrames(frames + 2));
}

TEST_F(ScreenTest, SourcesThatCannotBeMadeReturnZero) {
  Engine& e = Engine::get();
  EXPECT_EQ(e.rtc_create_source(640, 480, 10, RTC_SOURCE_WINDOW, 0x7ffffff0), 0u);  // no such window
  EXPECT_EQ(e.rtc_create_source(640, 480, 10, RTC_SOURCE_WINDOW, 0), 0u);
  EXPECT_EQ(e.rtc_create_source(640, 480, 10, e.rtc_capturer_count() + 5, 0), 0u);  // no such camera
  EXPECT_EQ(e.rtc_create_source(640, 480, 10, 1000, 0), 0u);  // programs feed 1000 through its own call
  EXPECT_EQ(e.rtc_create_virtual_source(640, 480, 10, nullptr), 0u);
}
