// Data-channel stop-and-wait throughput, alone and beside 1920x1080 video at
// 10 frames per second on the same connection (picture and records going
// the same way, as from a host), through the media engine and, as the
// reference in the same run, through bare webrtcbin. Both encode the same
// scrolling picture; the receiving side of the engine copies each frame out
// as the program does. A third row holds each of the engine's frame
// callbacks for a while as well, as the program's hand-over of the frame to
// its main thread does (copy into the picture, paint); the reference has
// no such callback, its figure is the one beside video.
// Run: CORVALA_BIN_DIR=<build>/bin <build>/bin/datachannel_bench [runs] [megabytes] [fps] [hand-over ms] [engine|bare]
// (the last leaves out the other side, for profiling one of them).
#include "BareWebrtcbin.h"
#include "EngineHarness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace engine_test;
using clock_type = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// Blocks of random colours scrolled by 8 rows per frame: every frame
// changes all over, as a scrolled page does.
class ScrollingPicture {
 public:
  ScrollingPicture() : texture_(size_t(kWidth) * kHeight * 2) {
    constexpr int kBlock = 16;
    std::mt19937 random(7);
    std::vector<uint32_t> colours(size_t(kWidth / kBlock) * (kHeight * 2 / kBlock + 1));
    for (auto& colour : colours) colour = random() & 0xffffff;
    for (int y = 0; y < kHeight * 2; ++y)
      for (int x = 0; x < kWidth; ++x)
        texture_[size_t(y) * kWidth + x] = colours[size_t(y / kBlock) * (kWidth / kBlock) + x / kBlock];
  }
  void paint(uint8_t* pixels, int width, int height, uint64_t n) const {
    if (width != kWidth || height > kHeight) return;
    const size_t first = size_t(n * 8 % kHeight) * kWidth;
    std::memcpy(pixels, texture_.data() + first, size_t(width) * height * 4);
  }

 private:
  std::vector<uint32_t> texture_;
};

// The engine's virtual source showing the picture.
class EngineVideo {
 public:
  EngineVideo(const ScrollingPicture& picture, int fps) : picture_(picture), fps_(fps) {}
  ~EngineVideo() {
    if (source_) Engine::get().rtc_destroy_source(source_);
  }
  StreamMaker maker() {
    return [this](Engine& e, rtc_handle factory) {
      source_ = e.rtc_create_virtual_source(kWidth, kHeight, fps_, &capture_);
      const rtc_handle stream = e.rtc_create_stream(factory, "ARDAMS");
      e.rtc_add_videotrack(stream, e.rtc_create_videotrack(factory, source_, "ARDAMSv0"));
      return stream;
    };
  }

 private:
  static int frame(void* arg, uint8_t* pixels, int width, int height) {
    auto* self = static_cast<EngineVideo*>(arg);
    self->picture_.paint(pixels, width, height, self->frames_++);
    return 1;
  }
  const ScrollingPicture& picture_;
  int fps_;
  uint64_t frames_ = 0;
  VirtualCaptureCallback capture_{this, nullptr, &EngineVideo::frame, nullptr};
  rtc_handle source_ = 0;
};

struct Result {
  double megabytesPerSecond = -1;
  double fps = 0;  // frames delivered while the records went
};

Result throughEngine(const ScrollingPicture* picture, int fps, size_t megabytes, int handOverMs) {
  std::unique_ptr<EngineVideo> video;
  if (picture) video = std::make_unique<EngineVideo>(*picture, fps);
  PeerPair pair(video ? video->maker() : StreamMaker{}, {}, false);
  pair.b->onFrame = [handOverMs] { std::this_thread::sleep_for(std::chrono::milliseconds(handOverMs)); };
  pair.a->offer();
  Result out;
  if (!pair.waitConnected() || (video && !pair.b->waitForFrames(1, std::chrono::seconds(20)))) return out;
  const std::string record(65536, 'r');
  pair.b->keepMessages = false;
  pair.b->onMessage = [&](const std::string&) { pair.b->send("D"); };
  const size_t records = megabytes * 1024 * 1024 / record.size();
  const int frames0 = pair.b->frameCount();
  const auto t0 = clock_type::now();
  for (size_t i = 0; i < records; ++i) {
    pair.a->send(record);
    if (!pair.a->waitForMessages(i + 1, std::chrono::seconds(20))) return out;
  }
  const double wall = std::chrono::duration<double>(clock_type::now() - t0).count();
  out.megabytesPerSecond = double(records * record.size()) / wall / 1e6;
  out.fps = (pair.b->frameCount() - frames0) / wall;
  return out;
}

Result throughBareWebrtcbin(const ScrollingPicture* picture, int fps, size_t megabytes) {
  bench::Painter painter;
  if (picture)
    painter = [picture](uint8_t* pixels, int width, int height, uint64_t n) { picture->paint(pixels, width, height, n); };
  bench::BareWebrtcbinPair pair(painter, kWidth, kHeight, fps);
  Result out;
  if (!pair.waitReady(30)) return out;
  const int frames0 = pair.framesDecoded();
  const auto t0 = clock_type::now();
  out.megabytesPerSecond = pair.stopAndWait(megabytes);
  out.fps = (pair.framesDecoded() - frames0) / std::chrono::duration<double>(clock_type::now() - t0).count();
  return out;
}

double load() {
  double figures[3] = {};
  getloadavg(figures, 3);
  return figures[0];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
  const size_t megabytes = argc > 2 ? size_t(std::max(1, std::atoi(argv[2]))) : 100;
  const int fps = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;
  const int handOverMs = argc > 4 ? std::max(0, std::atoi(argv[4])) : 20;
  const std::string only = argc > 5 ? argv[5] : "";
  Engine::get().rtc_set_debug_level(1);
  const ScrollingPicture picture;
  std::printf("data channel stop-and-wait, 65,536-byte records, %zu MB per figure, MB/s (frames/s delivered meanwhile)\n",
              megabytes);
  std::printf("%-40s %18s %18s %7s %6s\n", "", "engine", "bare webrtcbin", "ratio", "load");
  std::fflush(stdout);
  const auto row = [](const char* label, const Result& engine, const Result& bare) {
    // A side left out or failed shows -1 and no ratio.
    const bool both = engine.megabytesPerSecond > 0 && bare.megabytesPerSecond > 0;
    std::printf("%-40s %9.1f (%5.1f) %9.1f (%5.1f) %7.2f %6.1f\n", label, engine.megabytesPerSecond, engine.fps,
                bare.megabytesPerSecond, bare.fps, both ? engine.megabytesPerSecond / bare.megabytesPerSecond : 0.0,
                load());
    std::fflush(stdout);
  };
  const auto engineRow = [&](const ScrollingPicture* video, int handOver) {
    return only == "bare" ? Result{} : throughEngine(video, fps, megabytes, handOver);
  };
  const auto bareRow = [&](const ScrollingPicture* video) {
    return only == "engine" ? Result{} : throughBareWebrtcbin(video, fps, megabytes);
  };
  char beside[64], handedOver[64];
  std::snprintf(beside, sizeof beside, "beside 1920x1080 at %d fps", fps);
  std::snprintf(handedOver, sizeof handedOver, "same, frame callback %d ms", handOverMs);
  for (int run = 0; run < runs; ++run) {
    row("alone", engineRow(nullptr, 0), bareRow(nullptr));
    const Result bare = bareRow(&picture);
    row(beside, engineRow(&picture, 0), bare);
    row(handedOver, engineRow(&picture, handOverMs), bare);
  }
  return 0;
}
