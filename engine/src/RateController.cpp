#include "RateController.h"

#include "Log.h"
#include "RateControl.h"

#include <algorithm>
#include <cstdlib>

namespace corvala::engine {

namespace {
const char* kNominal = "corvala-nominal-bitrate";
const char* kLastCorrection = "corvala-rate-corrected-ms";

// vp8enc counts bit/s, x264enc kbit/s.
bool countsKilobits(GstElement* encoder) {
  return g_object_class_find_property(G_OBJECT_GET_CLASS(encoder), "target-bitrate") == nullptr;
}

int encoderBitrate(GstElement* encoder) {
  if (countsKilobits(encoder)) {
    guint kilobits = 0;
    g_object_get(encoder, "bitrate", &kilobits, nullptr);
    return int(kilobits) * 1000;
  }
  int bits = 0;
  g_object_get(encoder, "target-bitrate", &bits, nullptr);
  return bits;
}

void setEncoderBitrate(GstElement* encoder, int bits) {
  if (countsKilobits(encoder))
    g_object_set(encoder, "bitrate", guint(std::max(1, bits / 1000)), nullptr);
  else
    g_object_set(encoder, "target-bitrate", bits, nullptr);
}
}  // namespace

void RateController::setNominal(GstElement* encoder, int bitrate) {
  g_object_set_data(G_OBJECT(encoder), kNominal, GINT_TO_POINTER(bitrate));
}

int RateController::nominal(GstElement* encoder) {
  return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(encoder), kNominal));
}

void RateController::update(const std::vector<GstElement*>& encoders, guint64 bytesSent) {
  const auto now = std::chrono::steady_clock::now();
  const bool first = lastTime_.time_since_epoch().count() == 0;
  const double seconds = std::chrono::duration<double>(now - lastTime_).count();
  const guint64 previous = lastBytes_;
  lastBytes_ = bytesSent;
  lastTime_ = now;
  if (first || seconds < 0.5 || bytesSent < previous || encoders.empty()) return;
  // Audio is in the same count; at 32-64 kbit/s it does not matter here.
  const double measured = double(bytesSent - previous) * 8.0 / seconds / double(encoders.size());
  const auto nowMs = gsize(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
  for (GstElement* encoder : encoders) {
    // An encoder shared by several connections hears from each of them; the
    // rule expects one correction a second, from any one of them.
    const gsize last = GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(encoder), kLastCorrection));
    if (last != 0 && nowMs - last < 900) continue;
    g_object_set_data(G_OBJECT(encoder), kLastCorrection, GSIZE_TO_POINTER(nowMs));
    const int current = encoderBitrate(encoder);
    const int next = correctedBitrate(nominal(encoder), current, measured);
    if (std::abs(next - current) >= 1000) {
      setEncoderBitrate(encoder, next);
      logMessage(LogLevel::Debug, "video rate %.0f bit/s, encoder target %d -> %d", measured, current, next);
    }
  }
}

}  // namespace corvala::engine
