// The encode that all connections of one track share, around real encoders
// and decoders: what a connection that joins late gets first, and what
// happens when one connection's transport stops taking frames.
#include <gtest/gtest.h>

#include "RateController.h"
#include "SharedEncoder.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace corvala::engine;
using namespace std::chrono_literals;

namespace {

constexpr int kWidth = 160, kHeight = 120;

// Vertical stripes that move with the frame's number: each delta frame
// depends on the one before it.
GstBuffer* movingFrame(int number) {
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kWidth * kHeight * 4, nullptr);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const uint8_t level = ((x + number * 3) / 12) % 2 ? 0xE0 : 0x20;
      std::memset(map.data + (size_t(y) * kWidth + x) * 4, level, 4);
    }
  gst_buffer_unmap(buffer, &map);
  return buffer;
}

bool isKey(GstBuffer* buffer) { return !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT); }

// One connection's end: outlet -> decoder -> sink in a pipeline of its own.
// Keeps every encoded frame that left the outlet (a ref: the encoded bytes
// are shared by all outlets, so their memory tells which frame it was).
class Receiver {
 public:
  // `running` false: the connection is not up yet (ICE still connecting)
  // when it joins; play() starts it.
  explicit Receiver(const std::string& decoder, bool running = true) {
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(("appsrc name=src ! " + decoder + " name=dec ! appsink name=out sync=false async=false").c_str(),
                                 &error);
    EXPECT_EQ(error, nullptr) << (error ? error->message : "");
    appsrc_ = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
    outlet = std::make_shared<EncodedOutlet>(appsrc_);
    GstPad* pad = gst_element_get_static_pad(appsrc_, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, onEncoded, this, nullptr);
    gst_object_unref(pad);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onDecoded;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    gst_object_unref(sink);
    if (running) play();
  }
  void play() {
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    gst_element_get_state(pipeline_, nullptr, nullptr, 10 * GST_SECOND);
  }
  ~Receiver() {
    unblock();
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(appsrc_);
    gst_object_unref(pipeline_);
    for (GstBuffer* buffer : encoded_) gst_buffer_unref(buffer);
  }

  // The path behind the outlet stops taking frames, like a transport that
  // backs up: the decoder's output waits.
  void block() {
    GstElement* decoder = gst_bin_get_by_name(GST_BIN(pipeline_), "dec");
    blockedPad_ = gst_element_get_static_pad(decoder, "src");
    gst_object_unref(decoder);
    blockProbe_ = gst_pad_add_probe(blockedPad_, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM, nullptr, nullptr, nullptr);
  }
  void unblock() {
    if (!blockedPad_) return;
    gst_pad_remove_probe(blockedPad_, blockProbe_);
    gst_object_unref(blockedPad_);
    blockedPad_ = nullptr;
  }

  // The encoded frames that left the outlet, as their memory.
  std::vector<GstMemory*> frames() {
    std::lock_guard lock(mutex_);
    std::vector<GstMemory*> out;
    for (GstBuffer* buffer : encoded_) out.push_back(gst_buffer_peek_memory(buffer, 0));
    return out;
  }
  bool keyAt(size_t index) {
    std::lock_guard lock(mutex_);
    return index < encoded_.size() && isKey(encoded_[index]);
  }
  bool waitForFrame(GstMemory* memory, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      return std::any_of(encoded_.begin(), encoded_.end(),
                         [&](GstBuffer* buffer) { return gst_buffer_peek_memory(buffer, 0) == memory; });
    });
  }
  // Nothing waits in the outlet: its path took all it was given.
  bool drained() const { return gst_app_src_get_current_level_buffers(GST_APP_SRC(appsrc_)) == 0; }
  template <class Pred>
  bool waitFor(Pred pred, std::chrono::milliseconds limit = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return pred(encoded_.size(), decoded_); });
  }

  std::shared_ptr<EncodedOutlet> outlet;

 private:
  static GstPadProbeReturn onEncoded(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* receiver = static_cast<Receiver*>(self);
    std::lock_guard lock(receiver->mutex_);
    receiver->encoded_.push_back(gst_buffer_ref(GST_PAD_PROBE_INFO_BUFFER(info)));
    receiver->changed_.notify_all();
    return GST_PAD_PROBE_OK;
  }
  static GstFlowReturn onDecoded(GstAppSink* sink, gpointer self) {
    auto* receiver = static_cast<Receiver*>(self);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (sample) gst_sample_unref(sample);
    std::lock_guard lock(receiver->mutex_);
    ++receiver->decoded_;
    receiver->changed_.notify_all();
    return GST_FLOW_OK;
  }

  GstElement* pipeline_ = nullptr;
  GstElement* appsrc_ = nullptr;
  GstPad* blockedPad_ = nullptr;
  gulong blockProbe_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<GstBuffer*> encoded_;
  size_t decoded_ = 0;
};

template <class Pred>
bool pollUntil(Pred pred, std::chrono::milliseconds limit = 10s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  return pred();
}

struct CodecCase {
  const char* name;
  VideoCodecKind kind;
  const char* decoder;
};

class SharedEncoderTest : public ::testing::TestWithParam<CodecCase> {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

  void SetUp() override {
    encoder = SharedEncoder::create(GetParam().kind, kWidth, kHeight, 30);
    ASSERT_NE(encoder, nullptr);
  }

  // Frames one at a time, each once `pace` has received the one before and
  // the `drained` receivers have taken it in: the encoder's input drops what
  // comes faster than it encodes, and an outlet drops what its path has not
  // taken yet. That is what the tests are about, not what they should hit
  // on a slow machine.
  void feed(int count, Receiver& pace, std::vector<Receiver*> drained = {}) {
    for (int i = 0; i < count; ++i) feedOne(pace, drained);
  }
  bool feedOne(Receiver& pace, std::vector<Receiver*> drained = {}) {
    const size_t before = pace.frames().size();
    GstBuffer* frame = movingFrame(next_++);
    encoder->input().onFrame(frame, kWidth, kHeight);
    gst_buffer_unref(frame);
    const bool arrived = pace.waitFor([&](size_t encoded, size_t) { return encoded > before; });
    EXPECT_TRUE(arrived) << "frame " << next_ - 1 << " never left the encoder";
    drained.push_back(&pace);
    for (Receiver* receiver : drained)
      EXPECT_TRUE(pollUntil([&] { return receiver->drained(); })) << "a receiver stopped taking frames";
    return arrived;
  }

  std::shared_ptr<SharedEncoder> encoder;
  int next_ = 0;
};

size_t indexOf(const std::vector<GstMemory*>& frames, GstMemory* memory) {
  return size_t(std::find(frames.begin(), frames.end(), memory) - frames.begin());
}

TEST_P(SharedEncoderTest, LateViewersStartWithDecodableKeyFrameThatAllShare) {
  Receiver first(GetParam().decoder);
  encoder->add(first.outlet);
  feed(20, first);
  ASSERT_TRUE(first.keyAt(0));
  const auto keysIn = [&](size_t from) {
    size_t keys = 0;
    for (size_t i = from; i < first.frames().size(); ++i) keys += first.keyAt(i);
    return keys;
  };
  ASSERT_EQ(keysIn(1), 0u) << "the stream is still in its first key frame's deltas";

  Receiver late(GetParam().decoder);
  encoder->add(late.outlet);
  // A receiver's key-frame request (PLI) at the same moment: one key frame serves both.
  encoder->requestKeyFrame();
  feed(20, first, {&late});
  ASSERT_TRUE(late.waitFor([](size_t encoded, size_t decoded) { return encoded >= 5 && decoded >= 1; }));
  EXPECT_TRUE(late.keyAt(0)) << "a delta frame without its reference reached the late viewer";
  // The late viewer's key frame is the one everybody else got as well.
  const auto all = first.frames();
  const size_t at = indexOf(all, late.frames()[0]);
  ASSERT_LT(at, all.size());
  EXPECT_GE(at, 20u);
  EXPECT_EQ(keysIn(20), 1u) << "the join and the request made more than one key frame";
  EXPECT_EQ(first.outlet->dropped(), 0u);

  // A viewer whose connection comes up after the encoder's answer to its
  // join went by: it skips the delta frames and asks for its own key frame.
  Receiver starting(GetParam().decoder, false);
  encoder->add(starting.outlet);
  feed(5, first);
  starting.play();
  feed(20, first, {&starting});
  ASSERT_TRUE(starting.waitFor([](size_t encoded, size_t decoded) { return encoded >= 5 && decoded >= 1; }));
  EXPECT_TRUE(starting.keyAt(0)) << "a delta frame without its reference reached the viewer";
}

TEST_P(SharedEncoderTest, ViewerThatStopsTakingFramesDoesNotStopTheOthers) {
  Receiver flowing(GetParam().decoder), stuck(GetParam().decoder);
  encoder->add(flowing.outlet);
  encoder->add(stuck.outlet);
  feed(5, flowing);
  stuck.block();
  feed(30, flowing);
  // Every frame reached the viewer that keeps reading, none waited.
  EXPECT_EQ(flowing.frames().size(), 35u);
  EXPECT_EQ(flowing.outlet->dropped(), 0u);
  EXPECT_GT(stuck.outlet->dropped(), 0u);
  EXPECT_LE(stuck.frames().size(), 5u + 1 + EncodedOutlet::kBacklogLimit) << "the stuck viewer's backlog grew";

  // Once its path takes frames again, it catches up from a key frame: after
  // any gap in what it got, the next frame it gets is a key frame.
  stuck.unblock();
  bool caughtUp = false;
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (!caughtUp && std::chrono::steady_clock::now() < end) {
    if (!feedOne(flowing)) break;
    const auto latest = flowing.frames().back();
    caughtUp = stuck.waitForFrame(latest, 200ms);
  }
  ASSERT_TRUE(caughtUp) << "the viewer never got frames again";
  const auto all = flowing.frames(), got = stuck.frames();
  bool gap = false;
  for (size_t i = 1; i < got.size(); ++i) {
    const size_t previous = indexOf(all, got[i - 1]), current = indexOf(all, got[i]);
    ASSERT_LT(current, all.size());
    if (current != previous + 1) {
      gap = true;
      EXPECT_TRUE(stuck.keyAt(i)) << "frame " << i << " follows a gap but is a delta frame";
    }
  }
  EXPECT_TRUE(gap);
}

INSTANTIATE_TEST_SUITE_P(Codecs, SharedEncoderTest,
                         ::testing::Values(CodecCase{"VP8", VideoCodecKind::VP8, "vp8dec"},
                                           CodecCase{"H264", VideoCodecKind::H264, "h264parse ! avdec_h264 max-threads=1"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Every connection that sends a shared encoder's stream corrects its rate
// from the bytes it sent; the rule steps once a second, not once per
// connection a second (two idle connections would double its climb).
TEST(SharedEncoderRate, ConnectionsOfOneEncoderCorrectItOnceASecond) {
  gst_init(nullptr, nullptr);
  GstElement* encoder = gst_element_factory_make("vp8enc", nullptr);
  ASSERT_NE(encoder, nullptr);
  gst_object_ref_sink(encoder);
  RateController::setNominal(encoder, 4000000);
  g_object_set(encoder, "target-bitrate", 1000000, nullptr);
  RateController first, second;
  for (RateController* connection : {&first, &second}) connection->update({encoder}, 0);
  std::this_thread::sleep_for(600ms);  // a measurement needs half a second
  for (RateController* connection : {&first, &second}) connection->update({encoder}, 0);
  int target = 0;
  g_object_get(encoder, "target-bitrate", &target, nullptr);
  EXPECT_EQ(target, 1100000) << "idle: up by 10 % once";
  gst_object_unref(encoder);
}

}  // namespace
