#include "EncoderSettings.h"

#include <glib.h>

#include <algorithm>
#include <thread>

namespace corvala::engine {

int targetBitrate(int width, int height, int fps) {
  // About 0.07 bit per pixel and frame: 1080p at 30 fps gets 4.4 Mbit/s,
  // at 10 fps 1.5 Mbit/s; screen content compresses well.
  const double bits = double(width) * height * fps * 0.07;
  return int(std::clamp(bits, 300e3, 8e6));
}

std::string encoderDescription(VideoCodecKind kind, int bitrate, int fps, int threads) {
  if (threads <= 0) threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  // A key frame at least every 10 s: a receiver that lost one and whose
  // request went missing still recovers. Requests bring one at once.
  const int keyInterval = std::max(1, fps) * 10;
  gchar* text;
  if (kind == VideoCodecKind::H264)
    text = g_strdup_printf(
        "x264enc name=encoder tune=zerolatency speed-preset=ultrafast threads=%d sliced-threads=true "
        "bitrate=%d key-int-max=%d vbv-buf-capacity=500 "
        "! video/x-h264,profile=constrained-baseline,stream-format=byte-stream,alignment=au",
        threads, std::max(1, bitrate / 1000), keyInterval);
  else
    // One encoder thread: libvpx's worker threads wait by spinning, and on a
    // busy machine (the host's user works beside the session) two threads
    // cost 7 times the CPU of one per 1080p frame and took longer
    // (bench/encoder). Token partitions still let the viewer's decoder
    // threads share a frame.
    //
    // The speed: a positive cpu-used lets libvpx pick it by the time it
    // measures, slowing down until a frame takes half its period (50 ms at
    // 10 fps, 17 at 30), so the delay depends on the machine's load and
    // the quality on the timing (30-37 dB on scrolled text in one bench).
    // Speed 6, fixed, gives 37 dB in 15 ms a 1080p frame; faster fixed
    // speeds lose 9 dB. At 60 fps half a period (8 ms) is less than speed 6
    // needs, so there the measured choice stays: it trades quality for
    // keeping up.
    text = g_strdup_printf(
        "vp8enc name=encoder deadline=1 cpu-used=%d threads=1 token-partitions=1 end-usage=cbr lag-in-frames=0 "
        "target-bitrate=%d keyframe-max-dist=%d undershoot=95 buffer-size=1000 buffer-initial-size=500 "
        "buffer-optimal-size=600 ! video/x-vp8",
        fps > 30 ? 8 : -6, bitrate, keyInterval);
  std::string description(text);
  g_free(text);
  return description;
}

}  // namespace corvala::engine
