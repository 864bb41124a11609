#include "VideoSender.h"

#include "Log.h"
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

std::string VideoSender::rtpCaps(const std::optional<VideoCodec>& codec, guint32 ssrc) {
  if (codec) return codecCaps(codec->kind, codec->payloadType, codec->parameters, ssrc);
  // VP8 first: what we send unless the other side prefers H.264.
  return codecCaps(VideoCodecKind::VP8, kOfferedVp8Pt, "", ssrc) + ";" +
         codecCaps(VideoCodecKind::H264, kOfferedH264Pt, kOfferedH264Parameters, ssrc);
}

// The encoder of one track and codec, fed by the track while any connection
// sends it; the last connection to leave stops it.
class TrackEncoder {
 public:
  static std::shared_ptr<TrackEncoder> get(const std::shared_ptr<VideoTrack>& track, VideoCodecKind kind) {
    static std::mutex mutex;
    static std::vector<std::weak_ptr<TrackEncoder>> running;
    std::lock_guard lock(mutex);
    running.erase(std::remove_if(running.begin(), running.end(), [](const auto& w) { return w.expired(); }),
                  running.end());
    for (const auto& weak : running)
      if (auto found = weak.lock(); found && found->track_.lock() == track && found->encoder_->kind() == kind)
        return found;
    const auto& source = track->source();
    auto encoder = SharedEncoder::create(kind, source->maxWidth(), source->maxHeight(), source->fps());
    if (!encoder) return nullptr;
    std::shared_ptr<TrackEncoder> made(new TrackEncoder(track, std::move(encoder)));
    running.push_back(made);
    return made;
  }

  ~TrackEncoder() {
    // The track waits for a frame being handed over, so the encoder is
    // unused once this returns.
    if (auto track = track_.lock()) track->removeConsumer(&encoder_->input());
  }

  SharedEncoder& encoder() { return *encoder_; }

 private:
  TrackEncoder(const std::shared_ptr<VideoTrack>& track, std::shared_ptr<SharedEncoder> encoder)
      : track_(track), encoder_(std::move(encoder)) {
    // Not owned by the track: this object takes it out before it goes.
    track->addConsumer(std::shared_ptr<FrameConsumer>(&encoder_->input(), [](FrameConsumer*) {}));
  }

  std::weak_ptr<VideoTrack> track_;
  std::shared_ptr<SharedEncoder> encoder_;
};

std::shared_ptr<VideoSender> VideoSender::create(GstElement* pipeline, GstElement* webrtc,
                                                 const std::shared_ptr<VideoTrack>& track,
                                                 const std::optional<VideoCodec>& codec, guint32 ssrc) {
  std::shared_ptr<VideoSender> sender(new VideoSender);
  sender->track_ = track;
  sender->pipeline_ = pipeline;
  sender->ssrc_ = ssrc;
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
  if (codec && !sender->start(*codec)) return nullptr;
  return sender;
}

bool VideoSender::start(const VideoCodec& codec) {
  {
    std::lock_guard lock(mutex_);
    if (encoder_ || !webrtcPad_) return false;
  }
  auto track = track_.lock();
  if (!track || !track->source()) return false;
  // The payloader's output names only what webrtcbin needs to route it; the
  // format parameters (profile, level) are the negotiated ones.
  const std::string outCaps = codecCaps(codec.kind, codec.payloadType, "", ssrc_);
  gchar* description;
  if (codec.kind == VideoCodecKind::H264)
    description = g_strdup_printf(
        "appsrc name=src ! rtph264pay mtu=1200 config-interval=-1 aggregate-mode=zero-latency pt=%d ssrc=%u "
        "! capsfilter caps=\"%s\"",
        codec.payloadType, ssrc_, outCaps.c_str());
  else
    description = g_strdup_printf(
        "appsrc name=src ! rtpvp8pay mtu=1200 picture-id-mode=15-bit pt=%d ssrc=%u ! capsfilter caps=\"%s\"",
        codec.payloadType, ssrc_, outCaps.c_str());
  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description(description, TRUE, &error);
  g_free(description);
  if (!bin) {
    logMessage(LogLevel::Error, "video payloader: %s", error ? error->message : "?");
    if (error) g_error_free(error);
    return false;
  }
  auto encoder = TrackEncoder::get(track, codec.kind);
  if (!encoder) {
    gst_object_unref(bin);
    return false;
  }
  GstElement* appsrc = gst_bin_get_by_name(GST_BIN(bin), "src");
  auto outlet = std::make_shared<EncodedOutlet>(appsrc);
  gst_object_unref(appsrc);
  gst_bin_add(GST_BIN(pipeline_), bin);
  GstPad* src = gst_element_get_static_pad(bin, "src");
  if (gst_pad_link(src, webrtcPad_) != GST_PAD_LINK_OK) logMessage(LogLevel::Warning, "video sender not linked");
  gst_object_unref(src);
  gst_element_sync_state_with_parent(bin);
  {
    std::lock_guard lock(mutex_);
    encoder_ = encoder;
    outlet_ = outlet;
  }
  encoder->encoder().add(outlet);
  // Every new viewer of the track passes here (the encoder is shared, the
  // track sees no new consumer): the key frame it asked for needs a frame to
  // encode, which a quiet screen would otherwise send only at a later
  // keep-alive.
  track->source()->welcome();
  return true;
}

bool VideoSender::started() const {
  std::lock_guard lock(mutex_);
  return encoder_ != nullptr;
}

GstElement* VideoSender::encoder() const {
  std::lock_guard lock(mutex_);
  return encoder_ ? encoder_->encoder().encoder() : nullptr;
}

VideoSender::~VideoSender() {
  detach();
  if (webrtcPad_) gst_object_unref(webrtcPad_);
}

void VideoSender::detach() {
  std::shared_ptr<TrackEncoder> encoder;
  std::shared_ptr<EncodedOutlet> outlet;
  {
    std::lock_guard lock(mutex_);
    encoder = encoder_;
    outlet = outlet_;
  }
  if (encoder && outlet) encoder->encoder().remove(outlet.get());
}

}  // namespace corvala::engine
