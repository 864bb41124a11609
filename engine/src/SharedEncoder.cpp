#include "SharedEncoder.h"

#include "EncoderSettings.h"
#include "Log.h"
#include "PipelineGraph.h"
#include "RateController.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>
#include <malloc.h>

#include <algorithm>

namespace corvala::engine {

namespace {
// Forced key frames are big: a viewer that keeps falling behind asks for
// one after each drop, and must not turn every viewer's stream into key
// frames. A viewer that joins, or whose receiver asks (PLI), is not held
// back by this.
constexpr auto kCatchUpInterval = std::chrono::seconds(1);
// A request that produced no key frame by then was lost (sent while the
// encoder was still starting) and may be sent again.
constexpr auto kKeyOverdue = std::chrono::seconds(1);

// The running time of `element`'s pipeline now, or NONE before it runs.
GstClockTime runningTime(GstElement* element) {
  if (GST_STATE(element) != GST_STATE_PLAYING) return GST_CLOCK_TIME_NONE;
  GstClock* clock = gst_element_get_clock(element);
  if (!clock) return GST_CLOCK_TIME_NONE;
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(element);
  return now < base ? GST_CLOCK_TIME_NONE : now - base;
}
}  // namespace

// ---- outlet ----------------------------------------------------------------

EncodedOutlet::EncodedOutlet(GstElement* appsrc) : appsrc_(GST_ELEMENT(gst_object_ref(appsrc))) {
  // The outlet decides what to drop (whole frames up to the next key
  // frame); appsrc's own queue only holds what passed.
  g_object_set(appsrc_, "is-live", TRUE, "format", GST_FORMAT_TIME, "block", FALSE, "max-buffers", guint64(0),
               "max-bytes", guint64(0), "max-time", guint64(0), nullptr);
}

EncodedOutlet::~EncodedOutlet() {
  if (probe_) {
    GstPad* pad = gst_element_get_static_pad(appsrc_, "src");
    gst_pad_remove_probe(pad, probe_);
    gst_object_unref(pad);
  }
  if (caps_) gst_caps_unref(caps_);
  gst_object_unref(appsrc_);
}

void EncodedOutlet::forwardKeyRequests(const std::weak_ptr<SharedEncoder>& encoder) {
  {
    std::lock_guard lock(mutex_);
    keySource_ = encoder;
    if (probe_) return;
  }
  GstPad* pad = gst_element_get_static_pad(appsrc_, "src");
  const gulong probe = gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_UPSTREAM, onUpstreamEvent, this, nullptr);
  gst_object_unref(pad);
  std::lock_guard lock(mutex_);
  probe_ = probe;
}

GstPadProbeReturn EncodedOutlet::onUpstreamEvent(GstPad*, GstPadProbeInfo* info, gpointer self) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (!gst_video_event_is_force_key_unit(event)) return GST_PAD_PROBE_OK;
  auto* outlet = static_cast<EncodedOutlet*>(self);
  std::shared_ptr<SharedEncoder> encoder;
  {
    std::lock_guard lock(outlet->mutex_);
    encoder = outlet->keySource_.lock();
  }
  if (encoder) encoder->requestKeyFrame();
  // Handled: appsrc itself would refuse it.
  gst_event_unref(event);
  GST_PAD_PROBE_INFO_DATA(info) = nullptr;
  return GST_PAD_PROBE_HANDLED;
}

void EncodedOutlet::push(GstBuffer* frame, GstCaps* caps, SharedEncoder& encoder) {
  const bool key = !GST_BUFFER_FLAG_IS_SET(frame, GST_BUFFER_FLAG_DELTA_UNIT);
  // Stamped with this connection's running time (its pipeline has a base
  // time of its own), and only once it runs: a frame stamped before would
  // carry a time far in the future, and webrtcbin's clock synchronisation
  // would hold it and every frame after it back.
  const GstClockTime now = runningTime(appsrc_);
  if (now == GST_CLOCK_TIME_NONE) {
    waitingForKey_ = true;  // asked for once it runs, not before
    return;
  }
  if (gst_app_src_get_current_level_buffers(GST_APP_SRC(appsrc_)) >= kBacklogLimit) {
    // The transport is not taking frames: drop, and start again from a key
    // frame asked for once the backlog has gone.
    ++dropped_;
    waitingForKey_ = true;
    return;
  }
  if (waitingForKey_ && !key) {
    ++dropped_;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAsked_ >= kCatchUpInterval) {
      lastAsked_ = now;
      encoder.requestKeyFrame();
    }
    return;
  }
  waitingForKey_ = false;
  if (!caps_ || !gst_caps_is_equal(caps_, caps)) {
    gst_caps_replace(&caps_, caps);
    gst_app_src_set_caps(GST_APP_SRC(appsrc_), caps);
  }
  // A shallow copy: the encoded bytes are shared, the timestamps are ours.
  GstBuffer* buffer = gst_buffer_copy(frame);
  GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = now;
  GST_BUFFER_DURATION(buffer) = GST_CLOCK_TIME_NONE;
  gst_app_src_push_buffer(GST_APP_SRC(appsrc_), buffer);
}

// ---- encoder -----------------------------------------------------------------

std::shared_ptr<SharedEncoder> SharedEncoder::create(VideoCodecKind kind, int maxWidth, int maxHeight, int fps) {
  std::shared_ptr<SharedEncoder> encoder(new SharedEncoder(kind, maxWidth, maxHeight, fps));
  return encoder->encoder_ ? encoder : nullptr;
}

SharedEncoder::SharedEncoder(VideoCodecKind kind, int maxWidth, int maxHeight, int fps)
    : kind_(kind), maxWidth_(maxWidth), maxHeight_(maxHeight), fps_(fps) {
  const int bitrate = targetBitrate(maxWidth, maxHeight, fps);
  // The leaky queue lets the encoder drop what it cannot keep up with
  // instead of falling ever further behind the screen.
  const std::string description =
      "appsrc name=src is-live=true format=time leaky-type=downstream max-buffers=2 "
      "! queue leaky=downstream max-size-buffers=1 max-size-bytes=0 max-size-time=0 "
      "! videoconvert n-threads=2 ! videoscale ! capsfilter name=size caps=video/x-raw,format=I420 ! " +
      encoderDescription(kind, bitrate, fps) + " ! appsink name=out sync=false async=false max-buffers=4 drop=true";
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline || error) {
    logMessage(LogLevel::Error, "video encoder: %s", error ? error->message : "?");
    if (error) g_error_free(error);
    if (pipeline) gst_object_unref(pipeline);
    return;
  }
  pipeline_ = pipeline;
  appsrc_ = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  scaleCaps_ = gst_bin_get_by_name(GST_BIN(pipeline), "size");
  appsink_ = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = onSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(appsink_), &callbacks, this, nullptr);
  GstElement* encoder = gst_bin_get_by_name(GST_BIN(pipeline), "encoder");
  RateController::setNominal(encoder, bitrate);
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    logMessage(LogLevel::Error, "video encoder does not start");
    gst_object_unref(encoder);
    return;
  }
  encoder_ = encoder;
}

SharedEncoder::~SharedEncoder() {
  if (pipeline_) {
    gchar* name = g_strdup_printf("encoder-%s-%p", kind_ == VideoCodecKind::H264 ? "h264" : "vp8", (void*)this);
    savePipelineGraph(pipeline_, name);
    g_free(name);
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }
  for (GstElement* element : {appsrc_, scaleCaps_, encoder_, appsink_})
    if (element) gst_object_unref(element);
  // The encoder's frame buffers were freed on its streaming threads; glibc
  // keeps such freed memory in those threads' arenas (and raises its mmap
  // threshold after the first large free), so without a trim every session
  // that ends leaves the process a few hundred KB larger.
  malloc_trim(0);
}

void SharedEncoder::add(const std::shared_ptr<EncodedOutlet>& outlet) {
  outlet->forwardKeyRequests(weak_from_this());
  {
    std::lock_guard lock(outletMutex_);
    outlets_.push_back(outlet);
  }
  requestKeyFrame();
}

void SharedEncoder::remove(const EncodedOutlet* outlet) {
  std::shared_ptr<EncodedOutlet> keep;  // released outside the lock
  std::lock_guard lock(outletMutex_);
  auto it = std::find_if(outlets_.begin(), outlets_.end(), [&](const auto& o) { return o.get() == outlet; });
  if (it == outlets_.end()) return;
  keep = *it;
  outlets_.erase(it);
}

size_t SharedEncoder::outletCount() const {
  std::lock_guard lock(outletMutex_);
  return outlets_.size();
}

void SharedEncoder::requestKeyFrame() {
  {
    std::lock_guard lock(keyMutex_);
    const auto now = std::chrono::steady_clock::now();
    if (keyPending_ && now - keyRequested_ < kKeyOverdue) return;
    keyPending_ = true;
    keyRequested_ = now;
  }
  // The encoder takes the request on its source pad and marks the next
  // frame it encodes; the object lock is all it holds meanwhile.
  GstPad* pad = gst_element_get_static_pad(encoder_, "src");
  gst_pad_send_event(pad, gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
  gst_object_unref(pad);
}

void SharedEncoder::encode(GstBuffer* frame, int width, int height) {
  std::lock_guard lock(inputMutex_);
  if (width != width_ || height != height_) {
    width_ = width;
    height_ = height;
    // Keep the picture within the limits, keeping its aspect ratio.
    int outWidth = width, outHeight = height;
    if (outWidth > maxWidth_ || outHeight > maxHeight_) {
      const double scale = std::min(double(maxWidth_) / width, double(maxHeight_) / height);
      outWidth = std::max(2, int(width * scale) & ~1);
      outHeight = std::max(2, int(height * scale) & ~1);
    }
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, width,
                                        "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, fps_, 1,
                                        nullptr);
    gst_app_src_set_caps(GST_APP_SRC(appsrc_), caps);
    gst_caps_unref(caps);
    GstCaps* scaled = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT,
                                          outWidth, "height", G_TYPE_INT, outHeight, nullptr);
    g_object_set(scaleCaps_, "caps", scaled, nullptr);
    gst_caps_unref(scaled);
  }
  const GstClockTime now = runningTime(appsrc_);
  if (now == GST_CLOCK_TIME_NONE) return;
  // A shallow copy: the pixels are shared, the timestamps are the encoder's.
  GstBuffer* buffer = gst_buffer_copy(frame);
  GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = now;
  GST_BUFFER_DURATION(buffer) = GST_CLOCK_TIME_NONE;
  gst_app_src_push_buffer(GST_APP_SRC(appsrc_), buffer);
}

GstFlowReturn SharedEncoder::onSample(GstAppSink* appsink, gpointer self) {
  auto* encoder = static_cast<SharedEncoder*>(self);
  GstSample* sample = gst_app_sink_pull_sample(appsink);
  if (!sample) return GST_FLOW_OK;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstCaps* caps = gst_sample_get_caps(sample);
  if (buffer && caps) {
    if (!GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT)) {
      std::lock_guard lock(encoder->keyMutex_);
      encoder->keyPending_ = false;
    }
    std::lock_guard lock(encoder->outletMutex_);
    for (auto& outlet : encoder->outlets_) outlet->push(buffer, caps, *encoder);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

}  // namespace corvala::engine
