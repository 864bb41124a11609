// Keeps each video encoder's real bitrate at its nominal target. vp8enc's
// CBR overshoots by well over half on screen content and webrtcbin has no
// sender-side bandwidth estimation, so the target handed to the encoder is
// corrected once a second from the bytes the connection really sent.
#pragma once

#include <gst/gst.h>

#include <chrono>
#include <vector>

namespace corvala::engine {

class RateController {
 public:
  static void setNominal(GstElement* encoder, int bitrate);
  static int nominal(GstElement* encoder);
  void update(const std::vector<GstElement*>& encoders, guint64 bytesSent);

 private:
  guint64 lastBytes_ = 0;
  std::chrono::steady_clock::time_point lastTime_{};
};

}  // namespace corvala::engine
