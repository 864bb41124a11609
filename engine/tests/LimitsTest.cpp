// What a program or a peer hands the engine is checked before it is used:
// descriptions that GStreamer would choke on, program-fed sources of absurd
// sizes, and a program-fed source that ends itself from inside its callback.
#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

using namespace engine_test;

namespace {

// Counts GLib criticals (GStreamer's failed preconditions) while it lives.
class CriticalCounter {
 public:
  CriticalCounter() { previous_ = g_log_set_default_handler(&CriticalCounter::onLog, this); }
  ~CriticalCounter() { g_log_set_default_handler(previous_, nullptr); }
  int count() const { return count_.load(); }

 private:
  static void onLog(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer self) {
    if (level & G_LOG_LEVEL_CRITICAL) ++static_cast<CriticalCounter*>(self)->count_;
    g_log_default_handler(domain, level, message, nullptr);
  }
  GLogFunc previous_;
  std::atomic<int> count_{0};
};

struct SetResult {
  static void created(void*, rtc_handle, int) {}
  static void set(void* arg, int error) {
    auto* self = static_cast<SetResult*>(arg);
    {
      std::lock_guard lock(self->wait.mutex);
      self->errors.push_back(error);
    }
    self->wait.notify();
  }
  Waiter wait;
  std::vector<int> errors;
};

std::string minimalSdp(const std::string& media) {
  return "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\n" + media;
}

}  // namespace

// Each of these reaches the program as a failed set_sdp, never as a
// GStreamer critical or a crash.
TEST(Descriptions, UnusableOnesFailThroughSetSdp) {
  Engine& e = Engine::get();
  const rtc_handle factory = e.rtc_create_factory(0);
  const PeerConnectionCallback none{};
  const rtc_handle pc = e.rtc_create_peerconnection(factory, 0, &none);
  ASSERT_NE(pc, 0u);
  const std::string audio = "m=audio 9 UDP/TLS/RTP/SAVPF 111\r\nc=IN IP4 0.0.0.0\r\na=rtpmap:111 opus/48000/2\r\n";
  const struct {
    const char* what;
    const char* type;
    std::string sdp;
  } cases[] = {
      {"empty", "offer", ""},
      {"empty answer", "answer", ""},
      {"oversized", "offer", minimalSdp(audio + std::string(300 * 1024, 'a') + "\r\n")},
      {"no media line", "offer", minimalSdp("")},
      {"unknown type", "bogus", minimalSdp(audio)},
      {"not SDP at all", "offer", "\xff\xfe garbage"},
  };
  CriticalCounter criticals;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetResult result;
    const SDPCallback callback{&result, &SetResult::created, &SetResult::set};
    const rtc_handle description = e.rtc_create_sdp(c.type, c.sdp.c_str());
    ASSERT_NE(description, 0u);
    e.rtc_set_sdp(pc, description, 0, &callback);
    ASSERT_TRUE(result.wait.waitFor([&] { return !result.errors.empty(); }));
    EXPECT_EQ(result.errors, std::vector<int>{1});
  }
  EXPECT_EQ(criticals.count(), 0);
  e.rtc_close(pc);
  e.rtc_destroy_factory(factory);
}

// A program-fed source allocates its frames at the size it was made with:
// anything beyond the documented bounds is refused, not handed to GLib's
// allocator (which ends the process when it cannot satisfy it).
TEST(VirtualSource, SizesOutsideTheBoundsAreRefused) {
  Engine& e = Engine::get();
  VirtualCaptureCallback capture{nullptr, nullptr, [](void*, uint8_t*, int, int) { return 0; }, nullptr};
  const struct {
    int width, height;
    bool made;
  } cases[] = {
      {1, 1, true},
      {RTC_MAX_FRAME_SIDE, RTC_MAX_FRAME_PIXELS / RTC_MAX_FRAME_SIDE, true},
      {8192, 8192, true},
      {0, 480, false},
      {640, -1, false},
      {RTC_MAX_FRAME_SIDE + 1, 1, false},
      {1, RTC_MAX_FRAME_SIDE + 1, false},
      {RTC_MAX_FRAME_SIDE, RTC_MAX_FRAME_PIXELS / RTC_MAX_FRAME_SIDE + 1, false},
      {INT_MAX, INT_MAX, false},
      {INT_MIN, INT_MAX, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const rtc_handle source = e.rtc_create_virtual_source(c.width, c.height, 10, &capture);
    EXPECT_EQ(source != 0, c.made);
    e.rtc_destroy_source(source);
  }
}

// A program may end its picture source, and the factory whose track carries
// it, from inside the source's own get_frame. The capture thread then still
// finishes that frame and calls stop: the source must outlive it.
TEST(VirtualSource, DestroyedWithItsFactoryFromInsideItsOwnCallback) {
  struct Program {
    static int frame(void* arg, uint8_t* pixels, int width, int height) {
      auto* self = static_cast<Program*>(arg);
      if (!self->ended.exchange(true)) {
        self->engine.rtc_destroy_source(self->source);
        self->engine.rtc_destroy_factory(self->factory);
      }
      std::memset(pixels, 0x40, size_t(width) * height * 4);
      return 1;
    }
    static void stop(void* arg) {
      auto* self = static_cast<Program*>(arg);
      {
        std::lock_guard lock(self->wait.mutex);
        self->stopped = true;
      }
      self->wait.notify();
    }
    Engine& engine = Engine::get();
    rtc_handle factory = 0, source = 0;
    std::atomic<bool> ended{false};
    bool stopped = false;
    Waiter wait;
  } program;
  Engine& e = program.engine;
  program.factory = e.rtc_create_factory(0);
  const VirtualCaptureCallback capture{&program, nullptr, &Program::frame, &Program::stop};
  program.source = e.rtc_create_virtual_source(64, 48, 30, &capture);
  const rtc_handle track = e.rtc_create_videotrack(program.factory, program.source, "ARDAMSv0");
  ASSERT_NE(track, 0u);
  const VideoRendererCallback renderer{nullptr, [](void*, int, int) {}, [](void*, const uint8_t*) {}};
  e.rtc_add_renderer(track, &renderer);  // a consumer: capture starts
  ASSERT_TRUE(program.wait.waitFor([&] { return program.stopped; }));
  EXPECT_EQ(e.rtc_create_stream(program.factory, "ARDAMS"), 0u);  // the factory is gone
}
