#include "VideoSender.h"

#include "Log.h"
#include "RateController.h"
#include "SdpInfo.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>

#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

namespace corvala::engine {

namespace {

std::string codecCaps(VideoCodecKind kind, int payloadType, const std::string& parameters, guint32 ssrc) {
  std::string caps = std::string("application/x-rtp,media=video,clock-rate=90000,encoding-name=") +
                     (kind == VideoCodecKind::H264 ? "H264" : "VP8") + ",payload=" + std::to_string(payloadType) +
                     ",ssrc=(uint)" + std::to_string(ssrc);
  if (kind == VideoCodecKind::H264) {
    // The format's parameters as the other side wrote them, so that the
    // answer's format matches the offer's; the offer's are ours.
    for (const char* key : {"packetization-mode", "profile-level-id", "level-asymmetry-allowed"}) {
      const std::string value = formatParameter(parameters, key);
      if (!value.empty()) caps += std::string(",") + key + "=(string)" + value;
    }
  }
  return caps;
}

}  // namespace

int VideoSender::targetBitrate(int width, int height, int fps) {
  // About 0.07 bit per pixel and frame: 1080p at 30 fps gets 4.4 Mbit/s,
  // at 10 fps 1.5 Mbit/s; screen content compresses well.
  const double bits = double(width) * height * fps * 0.07;
  return int(std::clamp(bits, 300e3, 8e6));
}

std::string VideoSender::rtpCaps(const std::optional<VideoCodec>& codec, guint32 ssrc) {
  if (codec) return codecCaps(codec->kind, codec->payloadType, codec->parameters, ssrc);
  // VP8 first: what we send unless the other side prefers H.264.
  return codecCaps(VideoCodecKind::VP8, kOfferedVp8Pt, "", ssrc) + ";" +
         codecCaps(VideoCodecKind::H264, kOfferedH264Pt, kOfferedH264Parameters, ssrc);
}

std::shared_ptr<VideoSender> VideoSender::create(GstElement* pipeline, GstElement* webrtc,
                                                 const std::shared_ptr<VideoTrack>& track,
                                                 const std::optional<VideoCodec>& codec, guint32 ssrc) {
  const auto& source = track->source();
  std::shared_ptr<VideoSender> sender(new VideoSender);
  sender->track_ = track;
  sender->pipeline_ = pipeline;
  sender->ssrc_ = ssrc;
  sender->maxWidth_ = source->maxWidth();
  sender->maxHeight_ = source->maxHeight();
  sender->fps_ = source->fps();
  // The leaky queue lets the encoder drop what it cannot keep up with
  // instead of falling ever further behind the screen.
  const char* description =
      "appsrc name=src is-live=true format=time leaky-type=downstream max-buffers=2 "
      "! queue leaky=downstream max-size-buffers=1 max-size-bytes=0 max-size-time=0 "
      "! videoconvert n-threads=2 ! videoscale ! capsfilter name=size caps=video/x-raw,format=I420";
  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description(description, TRUE, &error);
  if (!bin) {
    logMessage(LogLevel::Error, "video sender: %s", error ? error->message : "?");
    if (error) g_error_free(error);
    return nullptr;
  }
  sender->appsrc_ = gst_bin_get_by_name(GST_BIN(bin), "src");
  sender->scaleCaps_ = gst_bin_get_by_name(GST_BIN(bin), "size");
  sender->front_ = GST_ELEMENT(gst_object_ref(bin));
  gst_bin_add(GST_BIN(pipeline), bin);
  const std::string caps = rtpCaps(codec, ssrc);
  sender->webrtcPad_ = requestSinkPad(webrtc, caps.c_str());
  GstWebRTCRTPTransceiver* transceiver = nullptr;
  if (sender->webrtcPad_) g_object_get(sender->webrtcPad_, "transceiver", &transceiver, nullptr);
  if (transceiver) {
    // Known codec preferences let the offer be made before the first frame.
    GstCaps* preferences = gst_caps_from_string(caps.c_str());
    g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV, "codec-preferences",
                 preferences, "do-nack", TRUE, nullptr);
    gst_caps_unref(preferences);
    gst_object_unref(transceiver);
  }
  gst_element_sync_state_with_parent(bin);
  if (codec && !sender->start(*codec)) return nullptr;
  track->addConsumer(sender);
  return sender;
}

bool VideoSender::start(const VideoCodec& codec) {
  {
    std::lock_guard lock(mutex_);
    if (encoder_ || !webrtcPad_) return false;
  }
  const int bitrate = targetBitrate(maxWidth_, maxHeight_, fps_);
  // The payloader's output names only what webrtcbin needs to route it; the
  // format parameters (profile, level) are the negotiated ones.
  const std::string outCaps = codecCaps(codec.kind, codec.payloadType, "", ssrc_);
  gchar* description;
  if (codec.kind == VideoCodecKind::H264)
    description = g_strdup_printf(
        "x264enc name=encoder tune=zerolatency speed-preset=ultrafast threads=2 bitrate=%d key-int-max=300 "
        "vbv-buf-capacity=500 ! video/x-h264,profile=constrained-baseline,stream-format=byte-stream "
        "! rtph264pay mtu=1200 config-interval=-1 aggregate-mode=zero-latency pt=%d ssrc=%u "
        "! capsfilter caps=\"%s\"",
        std::max(1, bitrate / 1000), codec.payloadType, ssrc_, outCaps.c_str());
  else
    description = g_strdup_printf(
        "vp8enc name=encoder deadline=1 cpu-used=8 threads=2 end-usage=cbr lag-in-frames=0 target-bitrate=%d "
        "keyframe-max-dist=300 undershoot=95 buffer-size=1000 buffer-initial-size=500 buffer-optimal-size=600 "
        "! rtpvp8pay mtu=1200 picture-id-mode=15-bit pt=%d ssrc=%u ! capsfilter caps=\"%s\"",
        bitrate, codec.payloadType, ssrc_, outCaps.c_str());
  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description(description, TRUE, &error);
  g_free(description);
  if (!bin) {
    logMessage(LogLevel::Error, "video encoder: %s", error ? error->message : "?");
    if (error) g_error_free(error);
    return false;
  }
  GstElement* encoder = gst_bin_get_by_name(GST_BIN(bin), "encoder");
  RateController::setNominal(encoder, bitrate);
  gst_bin_add(GST_BIN(pipeline_), bin);
  GstPad* src = gst_element_get_static_pad(bin, "src");
  if (gst_pad_link(src, webrtcPad_) != GST_PAD_LINK_OK) logMessage(LogLevel::Warning, "video sender not linked");
  gst_object_unref(src);
  gst_element_sync_state_with_parent(bin);
  if (!gst_element_link(front_, bin)) logMessage(LogLevel::Warning, "video encoder not linked");
  {
    std::lock_guard lock(mutex_);
    encoder_ = encoder;
  }
  return true;
}

bool VideoSender::started() const {
  std::lock_guard lock(mutex_);
  return encoder_ != nullptr;
}

GstElement* VideoSender::encoder() const {
  std::lock_guard lock(mutex_);
  return encoder_;
}

VideoSender::~VideoSender() {
  if (appsrc_) gst_object_unref(appsrc_);
  if (scaleCaps_) gst_object_unref(scaleCaps_);
  if (front_) gst_object_unref(front_);
  if (webrtcPad_) gst_object_unref(webrtcPad_);
  if (encoder_) gst_object_unref(encoder_);
}

void VideoSender::detach() {
  if (auto track = track_.lock()) track->removeConsumer(this);
}

void VideoSender::onFrame(GstBuffer* frame, int width, int height) {
  std::lock_guard lock(mutex_);
  // Nothing to encode with yet: the answer has not chosen the codec.
  if (!encoder_) return;
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
  // Frames are stamped with this pipeline's running time, and only once it
  // runs: a frame stamped before the pipeline has its base time would carry
  // a time far in the future, and webrtcbin's clock synchronisation would
  // hold it (and every frame after it) back.
  if (GST_STATE(appsrc_) != GST_STATE_PLAYING) return;
  GstClock* clock = gst_element_get_clock(appsrc_);
  if (!clock) return;
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(appsrc_);
  if (now < base) return;
  // A shallow copy: the pixels are shared, the timestamps are this sender's.
  GstBuffer* buffer = gst_buffer_copy(frame);
  GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = now - base;
  GST_BUFFER_DURATION(buffer) = GST_CLOCK_TIME_NONE;
  gst_app_src_push_buffer(GST_APP_SRC(appsrc_), buffer);
}

}  // namespace corvala::engine
