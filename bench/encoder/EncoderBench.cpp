// The video encoders alone on 1920x1080 screen content, one frame at a time
// as the engine feeds them: per frame, the wall time from input to encoded
// output (what a viewer waits), the process's CPU time, the bytes, and how
// close the decoded picture comes to the input (PSNR over R, G and B).
// The engine's settings beside the alternatives they were chosen from.
// Run: encoder_bench [fps] (default 30).
#include "EncoderSettings.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace corvala::engine;
using clock_type = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kFrames = 45;

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Text-like blocks on a light page; "scrolling" moves it up 12 rows a
// frame, "changing" (a video playing full screen) is new noise each frame.
std::vector<std::vector<uint8_t>> makeFrames(bool scrolling) {
  std::mt19937 random(7);
  const int pageRows = kHeight + kFrames * 12;
  std::vector<uint8_t> page(size_t(kWidth) * pageRows * 4, 0xF0);
  for (int y = 0; y + 16 <= pageRows; y += 16)
    for (int x = 0; x < kWidth; x += 8)
      if (random() % 3 == 0)
        for (int dy = 2; dy < 12; ++dy) std::memset(page.data() + (size_t(y + dy) * kWidth + x) * 4, 0x20, 6 * 4);
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < kFrames; ++i) {
    if (scrolling) {
      const uint8_t* top = page.data() + size_t(i) * 12 * kWidth * 4;
      frames.emplace_back(top, top + size_t(kWidth) * kHeight * 4);
    } else {
      std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4);
      for (size_t p = 0; p < frame.size(); p += 64) frame[p] = uint8_t(random());
      for (size_t p = 1; p < frame.size(); ++p) frame[p] = uint8_t(frame[p - 1] * 3 + p % 7);
      frames.push_back(std::move(frame));
    }
  }
  return frames;
}

struct Result {
  double medianMs = 0, p95Ms = 0, cpuMsPerFrame = 0, kbitPerS = 0, psnr = 0;
};

// Decodes what an encoder made back to BGRx, as a viewer would show it.
class Decoder {
 public:
  // One thread for H.264: libav's frame threads hold frames back, and each
  // decoded picture must be compared with its own input.
  explicit Decoder(bool h264) {
    GError* error = nullptr;
    const std::string description = std::string("appsrc name=src format=time ! ") +
                                    (h264 ? "h264parse ! avdec_h264 max-threads=1" : "vp8dec") +
                                    " ! videoconvert n-threads=2 ! video/x-raw,format=BGRx "
                                    "! appsink name=out sync=false max-buffers=0";
    pipeline_ = gst_parse_launch(description.c_str(), &error);
    if (!pipeline_ || error) {
      std::fprintf(stderr, "decoder: %s\n", error ? error->message : "?");
      std::exit(1);
    }
    src_ = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
    out_ = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  }
  ~Decoder() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(src_);
    gst_object_unref(out_);
    gst_object_unref(pipeline_);
  }
  // The squared error summed over the picture's R, G and B values, or -1
  // when nothing was decoded.
  double squaredError(GstSample* encoded, const std::vector<uint8_t>& input) {
    gst_app_src_set_caps(GST_APP_SRC(src_), gst_sample_get_caps(encoded));
    gst_app_src_push_buffer(GST_APP_SRC(src_), gst_buffer_ref(gst_sample_get_buffer(encoded)));
    GstSample* decoded = gst_app_sink_try_pull_sample(GST_APP_SINK(out_), 5 * GST_SECOND);
    if (!decoded) return -1;
    GstMapInfo map;
    double sum = -1;
    GstBuffer* buffer = gst_sample_get_buffer(decoded);
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
      if (map.size == input.size()) {
        sum = 0;
        for (size_t p = 0; p < map.size; p += 4)
          for (size_t c = 0; c < 3; ++c) {
            const double d = double(map.data[p + c]) - double(input[p + c]);
            sum += d * d;
          }
      }
      gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(decoded);
    return sum;
  }

 private:
  GstElement* pipeline_ = nullptr;
  GstElement* src_ = nullptr;
  GstElement* out_ = nullptr;
};

Result run(const std::string& encoder, const std::vector<std::vector<uint8_t>>& frames, int fps) {
  const std::string description = "appsrc name=src format=time ! videoconvert n-threads=2 ! " + encoder +
                                  " ! appsink name=out sync=false max-buffers=0";
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline || error) {
    std::fprintf(stderr, "%s: %s\n", encoder.c_str(), error ? error->message : "?");
    std::exit(1);
  }
  GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, kWidth,
                                      "height", G_TYPE_INT, kHeight, "framerate", GST_TYPE_FRACTION, fps, 1, nullptr);
  gst_app_src_set_caps(GST_APP_SRC(src), caps);
  gst_caps_unref(caps);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  std::vector<double> latencies;
  size_t bytes = 0;
  double cpu = 0, squaredError = 0;
  size_t compared = 0;
  Decoder decoder(encoder.rfind("x264enc", 0) == 0);
  for (int i = 0; i < int(frames.size()); ++i) {
    GstBuffer* buffer = gst_buffer_new_memdup(frames[size_t(i)].data(), frames[size_t(i)].size());
    GST_BUFFER_PTS(buffer) = GST_SECOND * i / fps;
    GST_BUFFER_DURATION(buffer) = GST_SECOND / fps;
    const double cpu0 = cpuSeconds();
    const auto t0 = clock_type::now();
    gst_app_src_push_buffer(GST_APP_SRC(src), buffer);
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 5 * GST_SECOND);
    if (!sample) break;
    // The first frames set up the encoder; they are not what a session sees.
    if (i >= 5) {
      latencies.push_back(std::chrono::duration<double, std::milli>(clock_type::now() - t0).count());
      cpu += cpuSeconds() - cpu0;
      bytes += gst_buffer_get_size(gst_sample_get_buffer(sample));
    }
    // Decoded outside the timed part; the first frames too, since later
    // ones refer to them.
    const double error = decoder.squaredError(sample, frames[size_t(i)]);
    if (i >= 5 && error >= 0) {
      squaredError += error;
      compared += size_t(kWidth) * kHeight * 3;
    }
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(src);
  gst_object_unref(out);
  gst_object_unref(pipeline);
  Result r;
  if (latencies.empty()) return r;
  const size_t n = latencies.size();
  r.cpuMsPerFrame = cpu * 1000 / n;
  r.kbitPerS = bytes * 8.0 / 1000 / n * fps;
  if (compared) r.psnr = squaredError > 0 ? 10 * std::log10(255.0 * 255.0 / (squaredError / double(compared))) : 99;
  std::sort(latencies.begin(), latencies.end());
  r.medianMs = latencies[n / 2];
  r.p95Ms = latencies[std::min(n - 1, size_t(n * 0.95))];
  return r;
}

// The engine's encoder with one more property (the element comes first,
// its caps after " ! ").
std::string withOption(const std::string& description, const std::string& option) {
  const auto cut = description.find(" ! ");
  return description.substr(0, cut) + " " + option + description.substr(cut);
}

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  const int fps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const int bitrate = targetBitrate(kWidth, kHeight, fps);
  const std::string kbit = std::to_string(bitrate / 1000), bit = std::to_string(bitrate);
  const std::string vp8 = "vp8enc deadline=1 end-usage=cbr lag-in-frames=0 target-bitrate=" + bit;
  const std::string x264 = "x264enc tune=zerolatency bitrate=" + kbit + " key-int-max=300 vbv-buf-capacity=500";
  const std::string vp8Engine = encoderDescription(VideoCodecKind::VP8, bitrate, fps);
  std::vector<std::pair<std::string, std::string>> encoders = {
      {"vp8 engine", vp8Engine},
      {"vp8 before (2 thr, 1 part)", vp8 + " cpu-used=8 threads=2"},
      {"vp8 1 thread, 1 part", vp8 + " cpu-used=8 threads=1"},
      {"vp8 2 threads, 2 parts", vp8 + " cpu-used=8 threads=2 token-partitions=1"},
      {"vp8 static-threshold=100", withOption(vp8Engine, "static-threshold=100")},
  };
  // The engine's VP8 at other speeds. A positive cpu-used lets libvpx choose
  // its speed by the time it measures per frame (it slows down to fill part
  // of the frame period); a negative one fixes the speed.
  for (const char* speed : {"8", "-4", "-6", "-7", "-8", "-12", "-16"}) {
    const std::string option = std::string("cpu-used=") + speed;
    encoders.emplace_back("vp8 " + option + (option == "cpu-used=8" ? " (timed speed, the engine's at 60 fps)" : ""),
                          withOption(vp8Engine, option));
  }
  encoders.insert(encoders.end(), {
      {"h264 engine", encoderDescription(VideoCodecKind::H264, bitrate, fps)},
      {"h264 before (frame thr)", x264 + " speed-preset=ultrafast threads=2"},
      {"h264 superfast sliced", x264 + " speed-preset=superfast threads=2 sliced-threads=true"},
  });
  double load[3] = {};
  getloadavg(load, 3);
  std::printf("encoders alone, 1920x1080 BGRx at %d fps (%d kbit/s), one frame at a time; load %.1f\n", fps,
              bitrate / 1000, load[0]);
  std::printf("%-30s %-10s %10s %8s %14s %10s %8s\n", "encoder", "content", "median ms", "p95 ms", "CPU ms/frame",
              "kbit/s", "PSNR dB");
  for (bool scrolling : {true, false}) {
    const auto frames = makeFrames(scrolling);
    for (const auto& [name, description] : encoders) {
      const Result r = run(description, frames, fps);
      std::printf("%-30s %-10s %10.1f %8.1f %14.1f %10.0f %8.2f\n", name.c_str(),
                  scrolling ? "scrolling" : "changing", r.medianMs, r.p95Ms, r.cpuMsPerFrame, r.kbitPerS, r.psnr);
      std::fflush(stdout);
    }
  }
  getloadavg(load, 3);
  std::printf("load after: %.1f\n", load[0]);
  return 0;
}
