#include "PeerConnection.h"

#include "ConnectionTicker.h"
#include "Log.h"
#include "IceServerUri.h"
#include "PeerLiveness.h"
#include "PipelineGraph.h"
#include "RateController.h"
#include "SdpInfo.h"
#include "VideoSender.h"

#include <gst/app/gstappsink.h>
#include <gst/sdp/sdp.h>
#include <gst/video/video.h>

#include <ifaddrs.h>
#include <malloc.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <random>

namespace corvala::engine {

namespace {

// Payload type of our offer's audio; an answer takes the offer's (see
// linkSenders). Video's are in VideoCodec.h.
constexpr int kAudioPt = 111;
// Opus is always written "opus/48000/2", whatever it carries; libwebrtc
// rejects an audio line that says "OPUS/48000". The encoding parameters come
// from the encoder's caps, which may not have arrived when the offer is made,
// so the preferences name them.
constexpr const char* kReceiveAudioCaps =
    "application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,encoding-params=(string)2,payload=111";
constexpr int kCallbackGraceMs = 2000;
// A browser's description with every codec is some 10 KB.
constexpr size_t kMaxDescriptionBytes = 256 * 1024;
constexpr int kReceiveLatencyMs = 1000;
constexpr int kFastStartPackets = 3;
// Channels the peer may open; the program's peers open one.
constexpr int kMaxRemoteChannels = 16;
// How often our RTP session reports at least (RTCP): the other engine's
// watch for a vanished peer counts on hearing from us. RFC 3550's 5 s
// would leave it waiting longer than a session should hang.
constexpr guint64 kReportInterval = GST_SECOND;

int64_t monotonicMs() { return g_get_monotonic_time() / 1000; }

using Ref = std::weak_ptr<PeerConnection>;
void deleteRef(gpointer data, GClosure*) { delete static_cast<Ref*>(data); }
std::shared_ptr<PeerConnection> lockRef(gpointer data) { return static_cast<Ref*>(data)->lock(); }

// libnice leaves loopback out when it picks addresses itself, so a machine
// (or network namespace) with nothing but loopback gets no candidate at
// all, without any error. Then we name 127.0.0.1 ourselves.
bool onlyLoopback() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool other = false;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || !(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) continue;
    const int family = entry->ifa_addr->sa_family;
    if (family == AF_INET) other = true;
    if (family == AF_INET6) {
      const auto* address = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
      if (!IN6_IS_ADDR_LINKLOCAL(&address->sin6_addr)) other = true;
    }
  }
  freeifaddrs(list);
  return !other;
}

guint32 randomSsrc() {
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard lock(mutex);
  return std::uniform_int_distribution<guint32>(1, 0xFFFFFFF0u)(generator);
}

std::string statsTypeName(const GstStructure* report) {
  GstWebRTCStatsType type;
  if (!gst_structure_get(report, "type", GST_TYPE_WEBRTC_STATS_TYPE, &type, nullptr)) return {};
  GEnumClass* cls = static_cast<GEnumClass*>(g_type_class_ref(GST_TYPE_WEBRTC_STATS_TYPE));
  GEnumValue* value = g_enum_get_value(cls, type);
  std::string name = value ? value->value_nick : "";
  g_type_class_unref(cls);
  return name;
}

}  // namespace

// ---- creation and teardown --------------------------------------------------

PeerConnection::PeerConnection(const PeerConnectionCallback& callback)
    : callback_(callback), liveness_(std::make_shared<PeerLiveness>(RTC_PEER_SILENCE_MS)) {}

std::shared_ptr<PeerConnection> PeerConnection::create(const std::shared_ptr<Factory>& factory,
                                                       const std::vector<IceServer>& servers,
                                                       const PeerConnectionCallback& callback) {
  std::shared_ptr<PeerConnection> pc(new PeerConnection(callback));
  if (!pc->build(factory, servers)) {
    pc->close();
    return nullptr;
  }
  return pc;
}

bool PeerConnection::build(const std::shared_ptr<Factory>& factory, const std::vector<IceServer>& servers) {
  audio_ = factory->audio;
  pipeline_ = gst_pipeline_new(nullptr);
  webrtc_ = gst_element_factory_make("webrtcbin", nullptr);
  if (!pipeline_ || !webrtc_) {
    logMessage(LogLevel::Error, "webrtcbin is not available");
    if (webrtc_) gst_object_unref(webrtc_);
    webrtc_ = nullptr;
    return false;
  }
  gst_bin_add(GST_BIN(pipeline_), webrtc_);
  GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(pipeline_));
  gst_bus_set_sync_handler(
      bus,
      [](GstBus*, GstMessage* message, gpointer) {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR || GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) {
          GError* error = nullptr;
          gchar* detail = nullptr;
          if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
            gst_message_parse_error(message, &error, &detail);
          else
            gst_message_parse_warning(message, &error, &detail);
          logMessage(LogLevel::Warning, "%s: %s (%s)", GST_OBJECT_NAME(GST_MESSAGE_SRC(message)),
                     error ? error->message : "?", detail ? detail : "");
          if (error) g_error_free(error);
          g_free(detail);
        }
        return GST_BUS_PASS;
      },
      nullptr, nullptr);
  gst_object_unref(bus);
  g_object_set(webrtc_, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, nullptr);
  // How long a receiver waits for a missing packet before it gives the
  // packet up. On a loaded machine the receiving threads fall behind and
  // packets come late rather than never: with webrtcbin's 200 ms they were
  // given up, each gap cost a key-frame request, each 1080p key frame loaded
  // the machine further, and the picture stood still for seconds. In-order
  // packets pass at once (the frames are not synchronised to a clock), so the
  // longer wait delays only a picture that would otherwise break.
  g_object_set(webrtc_, "latency", guint(kReceiveLatencyMs), nullptr);
  // A jitter buffer otherwise holds its first packet for the whole wait:
  // a second more before the first picture. A few packets in a row show
  // that the stream flows.
  if (GstElement* rtpbin = gst_bin_get_by_name(GST_BIN(webrtc_), "rtpbin")) {
    g_signal_connect(rtpbin, "new-jitterbuffer",
                     G_CALLBACK(+[](GstElement*, GstElement* jitterbuffer, guint, guint, gpointer) {
                       g_object_set(jitterbuffer, "faststart-min-packets", guint(kFastStartPackets), nullptr);
                     }),
                     nullptr);
    gst_object_unref(rtpbin);
  } else {
    logMessage(LogLevel::Warning, "webrtcbin without rtpbin: the first picture waits for the jitter buffer");
  }

  bool stunSet = false;
  for (const IceServer& server : servers) {
    bool isTurn = false;
    const std::string uri = iceServerUri(server.url, server.user, server.password, isTurn);
    if (uri.empty()) {
      logMessage(LogLevel::Warning, "ICE server \"%s\" not understood", server.url.c_str());
    } else if (isTurn) {
      gboolean added = FALSE;
      g_signal_emit_by_name(webrtc_, "add-turn-server", uri.c_str(), &added);
    } else if (!stunSet) {  // webrtcbin takes one STUN server
      g_object_set(webrtc_, "stun-server", uri.c_str(), nullptr);
      stunSet = true;
    }
  }

  auto connect = [&](const char* signal, GCallback handler) {
    g_signal_connect_data(webrtc_, signal, handler, new Ref(weak_from_this()), deleteRef, GConnectFlags(0));
  };
  connect("on-ice-candidate", G_CALLBACK(onIceCandidate));
  connect("prepare-data-channel", G_CALLBACK(onPrepareDataChannel));
  connect("on-data-channel", G_CALLBACK(onDataChannel));
  connect("pad-added", G_CALLBACK(onPadAdded));
  connect("on-new-transceiver", G_CALLBACK(onNewTransceiver));
  connect("notify::ice-connection-state", G_CALLBACK(onIceState));
  connect("notify::ice-gathering-state", G_CALLBACK(onGatheringState));
  // The peer's packets and our report interval are in elements that
  // webrtcbin makes as negotiation goes on.
  g_signal_connect_data(pipeline_, "deep-element-added", G_CALLBACK(onElementAdded), new Ref(weak_from_this()),
                        deleteRef, GConnectFlags(0));

  GObject* ice = nullptr;
  g_object_get(webrtc_, "ice-agent", &ice, nullptr);
  if (ice && onlyLoopback()) {
    gboolean added = FALSE;
    g_signal_emit_by_name(ice, "add-local-ip-address", "127.0.0.1", &added);
  }
  // Keepalives that the peer must answer: where nothing else tells that a
  // peer is gone (a connection without RTP), ICE then fails after about
  // 50 s instead of never. libnice's own agent, when webrtcbin uses it.
  GObject* agent = nullptr;
  if (ice && g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "agent")) g_object_get(ice, "agent", &agent, nullptr);
  if (agent && g_object_class_find_property(G_OBJECT_GET_CLASS(agent), "keepalive-conncheck"))
    g_object_set(agent, "keepalive-conncheck", TRUE, nullptr);
  if (agent) g_object_unref(agent);
  if (ice) g_object_unref(ice);
  // Data channels can only be made from READY on.
  if (gst_element_set_state(pipeline_, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) return false;
  rate_ = std::make_unique<RateController>();
  ConnectionTicker::watch(weak_from_this());
  return true;
}

PeerConnection::~PeerConnection() { close(); }

void PeerConnection::close() {
  std::vector<std::shared_ptr<VideoSender>> videoSenders;
  std::vector<std::pair<std::shared_ptr<AudioTrack>, GstElement*>> audioSenders;
  std::vector<rtc_handle> owned;
  std::shared_ptr<VideoTrack> remoteVideo;
  std::shared_ptr<AudioTrack> remoteAudio;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
    videoSenders.swap(videoSenders_);
    audioSenders.swap(audioSenders_);
    owned.swap(owned_);
    remoteVideo = remoteVideo_;
    remoteAudio = remoteAudio_;
    encoders_.clear();
  }
  lifetime_->end();  // no callback of this connection starts from now on
  // One that is running finishes first, so that the program may free what
  // its callback records point to once this returns; unless it is blocked
  // on this very thread, which the time limit gets us out of.
  Dispatcher::waitUntilIdleEverywhere(lifetime_.get(), kCallbackGraceMs);
  for (auto& sender : videoSenders) sender->detach();
  for (auto& [track, volume] : audioSenders) track->removeVolume(volume);
  std::map<GstWebRTCDataChannel*, std::shared_ptr<DataChannel>> channels;
  {
    std::lock_guard lock(channelMutex_);
    channels.swap(channels_);
    pendingLocal_.reset();
  }
  for (auto& [gst, channel] : channels) channel->shutdown();
  if (remoteVideo) remoteVideo->detach();
  if (remoteAudio) remoteAudio->lifetime->end();
  // No lock of ours is held here: streaming threads that are inside one of
  // our handlers finish, and the state change can complete.
  if (pipeline_) {
    savePipelineGraph(pipeline_, "pc-" + std::to_string(handle));
    unblockDataSenders();
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
    webrtc_ = nullptr;
    // Each session's streaming and codec threads allocate in glibc arenas
    // of their own; what they freed stays in the process unless handed back
    // (measured: 5 MB and more per session, for good).
    malloc_trim(0);
  }
  for (rtc_handle h : owned) handles().remove(h);
}

// sctpenc's chain function waits for room in the SCTP send buffer until its
// pad is flushing, and a state change does not set that flag before it
// waits for the same pad: with data queued and the transport already
// stopping (no acknowledgements come back) teardown would hang. Flushing
// its inputs first lets the waiting chain return.
void PeerConnection::unblockDataSenders() {
  GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline_));
  GValue item = G_VALUE_INIT;
  std::vector<GstPad*> pads;
  while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
    GstElement* element = GST_ELEMENT(g_value_get_object(&item));
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory && std::strcmp(GST_OBJECT_NAME(factory), "sctpenc") == 0) {
      GstIterator* padIt = gst_element_iterate_sink_pads(element);
      GValue padItem = G_VALUE_INIT;
      while (gst_iterator_next(padIt, &padItem) == GST_ITERATOR_OK) {
        pads.push_back(GST_PAD(gst_object_ref(g_value_get_object(&padItem))));
        g_value_reset(&padItem);
      }
      g_value_unset(&padItem);
      gst_iterator_free(padIt);
    }
    g_value_reset(&item);
  }
  g_value_unset(&item);
  gst_iterator_free(it);
  for (GstPad* pad : pads) {
    gst_pad_send_event(pad, gst_event_new_flush_start());
    gst_object_unref(pad);
  }
}

void PeerConnection::own(rtc_handle h) {
  std::lock_guard lock(mutex_);
  if (closed_)
    handles().remove(h);
  else
    owned_.push_back(h);
}

GstElement* PeerConnection::webrtcRef() {
  std::lock_guard lock(mutex_);
  return closed_ || !webrtc_ ? nullptr : GST_ELEMENT(gst_object_ref(webrtc_));
}

void PeerConnection::post(std::function<void()> task) { Dispatcher::instance().post(lifetime_, std::move(task)); }

// ---- streams and senders ----------------------------------------------------

void PeerConnection::addStream(const std::shared_ptr<MediaStream>& stream) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  if (sendersLinked_) {
    logMessage(LogLevel::Warning, "a stream added after negotiation is not sent");
    return;
  }
  localStreams_.push_back(stream);
}

// Senders are linked once the payload types are known: our own for an offer,
// the offer's for an answer (an answer whose payload types differ from the
// offer's makes the other side drop the media). An offer's video sender
// gets its encoder when the answer has chosen the codec.
void PeerConnection::linkSenders(const std::optional<VideoCodec>& videoCodec, bool offering, int audioPt) {
  std::vector<std::shared_ptr<MediaStream>> streams;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || sendersLinked_) return;
    sendersLinked_ = true;
    streams = localStreams_;
  }
  std::shared_ptr<VideoTrack> video;
  std::shared_ptr<AudioTrack> audio;
  for (auto& stream : streams) {
    if (!video) video = stream->videoTrack();
    if (!audio) audio = stream->audioTrack();
  }
  if (video && (offering || videoCodec) && video->source()) {
    const guint32 ssrc = randomSsrc();
    auto sender = VideoSender::create(pipeline_, webrtc_, video, offering ? std::nullopt : videoCodec, ssrc);
    if (sender) {
      std::lock_guard lock(mutex_);
      videoSenders_.push_back(sender);
      if (GstElement* encoder = sender->encoder()) {
        encoders_.push_back(encoder);
        sentVideo_ = VideoCodecUse::of(videoCodec->kind, videoCodec->payloadType);
      }
    }
  }
  if (audio && audioPt > 0 && audio->module) {
    const guint32 ssrc = randomSsrc();
    gchar* caps = g_strdup_printf(
        "application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,encoding-params=(string)2,payload=%d,"
        "ssrc=(uint)%u",
        audioPt, ssrc);
    gchar* description = g_strdup_printf(
        "%s ! queue max-size-time=200000000 leaky=downstream ! audioconvert ! audioresample ! volume name=mute "
        // Silence (no voice, the silent fallback, a muted track) goes out as
        // Opus DTX: a packet every 400 ms instead of 50 a second, which
        // costs both peers more than a quiet screen's video does.
        "! opusenc dtx=true ! rtpopuspay dtx=true pt=%d ssrc=%u ! capsfilter name=rtpout caps=\"%s\"",
        audio->module->captureDescription().c_str(), audioPt, ssrc, caps);
    // Unlinked pads are not ghosted automatically: a file source's decodebin
    // links its pad later, and a ghosted converter input would refuse it.
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description, FALSE, &error);
    g_free(description);
    if (bin) {
      GstElement* out = gst_bin_get_by_name(GST_BIN(bin), "rtpout");
      GstPad* outPad = gst_element_get_static_pad(out, "src");
      gst_element_add_pad(bin, gst_ghost_pad_new("src", outPad));
      gst_object_unref(outPad);
      gst_object_unref(out);
    }
    if (!bin) {
      logMessage(LogLevel::Warning, "audio sender: %s", error ? error->message : "?");
      if (error) g_error_free(error);
    } else {
      gst_bin_add(GST_BIN(pipeline_), bin);
      GstPad* src = gst_element_get_static_pad(bin, "src");
      GstPad* sink = requestSinkPad(webrtc_, caps);
      if (gst_pad_link(src, sink) != GST_PAD_LINK_OK) logMessage(LogLevel::Warning, "audio sender not linked");
      GstWebRTCRTPTransceiver* transceiver = nullptr;
      g_object_get(sink, "transceiver", &transceiver, nullptr);
      if (transceiver) {
        GstCaps* preferences = gst_caps_from_string(caps);
        g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV, "codec-preferences",
                     preferences, "do-nack", FALSE, nullptr);
        gst_caps_unref(preferences);
        gst_object_unref(transceiver);
      }
      gst_object_unref(src);
      gst_object_unref(sink);
      GstElement* volume = gst_bin_get_by_name(GST_BIN(bin), "mute");
      audio->addVolume(volume);
      std::lock_guard lock(mutex_);
      audioSenders_.emplace_back(audio, volume);
      gst_object_unref(volume);  // the pipeline keeps it alive until close
    }
    g_free(caps);
  }
}

void PeerConnection::startVideoSenders(const VideoCodec& codec) {
  std::vector<std::shared_ptr<VideoSender>> senders;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    senders = videoSenders_;
  }
  for (auto& sender : senders) {
    if (sender->started() || !sender->start(codec)) continue;
    std::lock_guard lock(mutex_);
    if (closed_) continue;
    encoders_.push_back(sender->encoder());
    sentVideo_ = VideoCodecUse::of(codec.kind, codec.payloadType);
  }
}

void PeerConnection::addReceiveOnly(const char* kind) {
  const bool video = std::string(kind) == "video";
  // Without an ssrc of ours: this side sends nothing on it.
  std::string videoCaps = VideoSender::rtpCaps(std::nullopt, 0);
  for (size_t at; (at = videoCaps.find(",ssrc=(uint)0")) != std::string::npos;) videoCaps.erase(at, 13);
  GstCaps* caps = gst_caps_from_string(
      video ? videoCaps.c_str() : kReceiveAudioCaps);
  GstWebRTCRTPTransceiver* transceiver = nullptr;
  GstElement* webrtc = webrtcRef();
  if (!webrtc) {
    gst_caps_unref(caps);
    return;
  }
  g_signal_emit_by_name(webrtc, "add-transceiver", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY, caps,
                        &transceiver);
  gst_caps_unref(caps);
  gst_object_unref(webrtc);
  if (transceiver) gst_object_unref(transceiver);
}

void PeerConnection::ensurePlaying() {
  {
    std::lock_guard lock(mutex_);
    if (closed_ || playing_) return;
    playing_ = true;
  }
  gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

// ---- descriptions -----------------------------------------------------------

namespace {
struct SdpRequest {
  Ref pc;
  SDPCallback callback;
};
}  // namespace

void PeerConnection::emitSdpRequest(const char* signal, const SDPCallback& callback) {
  auto* request = new SdpRequest{weak_from_this(), callback};
  GstPromise* promise = gst_promise_new_with_change_func(
      [](GstPromise* promise, gpointer data) {
        auto* request = static_cast<SdpRequest*>(data);
        auto pc = request->pc.lock();
        if (!pc) return;
        const GstStructure* reply =
            gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED ? gst_promise_get_reply(promise) : nullptr;
        GstWebRTCSessionDescription* description = nullptr;
        if (reply) {
          if (gst_structure_has_field_typed(reply, "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION))
            gst_structure_get(reply, "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description, nullptr);
          else if (gst_structure_has_field_typed(reply, "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION))
            gst_structure_get(reply, "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description, nullptr);
        }
        rtc_handle h = 0;
        if (description) {
          gchar* text = gst_sdp_message_as_text(description->sdp);
          auto object = std::make_shared<SessionDescription>(gst_webrtc_sdp_type_to_string(description->type), text);
          g_free(text);
          gst_webrtc_session_description_free(description);
          h = handles().add(object);
          pc->own(h);
        } else {
          GError* error = nullptr;
          if (reply) gst_structure_get(reply, "error", G_TYPE_ERROR, &error, nullptr);
          logMessage(LogLevel::Warning, "description not made: %s", error ? error->message : "no reply");
          if (error) g_error_free(error);
        }
        const SDPCallback callback = request->callback;
        if (callback.create_sdp)
          pc->post([callback, h] { callback.create_sdp(callback.arg, h, h ? 0 : 1); });
      },
      request, [](gpointer data) { delete static_cast<SdpRequest*>(data); });
  if (GstElement* webrtc = webrtcRef()) {
    g_signal_emit_by_name(webrtc, signal, nullptr, promise);
    gst_object_unref(webrtc);
  } else {
    gst_promise_interrupt(promise);
  }
  gst_promise_unref(promise);
}

void PeerConnection::createOffer(const SDPCallback& callback) {
  bool first;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    first = !sendersLinked_;
  }
  linkSenders(std::nullopt, true, kAudioPt);
  if (first) {
    // Offer to receive both kinds even when this side sends none of them.
    bool sendsVideo, sendsAudio;
    {
      std::lock_guard lock(mutex_);
      sendsVideo = !videoSenders_.empty();
      sendsAudio = !audioSenders_.empty();
    }
    if (!sendsVideo) addReceiveOnly("video");
    if (!sendsAudio) addReceiveOnly("audio");
  }
  ensurePlaying();
  emitSdpRequest("create-offer", callback);
}

void PeerConnection::createAnswer(const SDPCallback& callback) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
  }
  ensurePlaying();
  emitSdpRequest("create-answer", callback);
}

void PeerConnection::setDescription(const std::shared_ptr<SessionDescription>& description, rtc_handle h,
                                    bool local, const SDPCallback& callback) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
  }
  own(h);  // applied descriptions live as long as the connection
  GstWebRTCSDPType type;
  if (description->type == "offer")
    type = GST_WEBRTC_SDP_TYPE_OFFER;
  else if (description->type == "answer")
    type = GST_WEBRTC_SDP_TYPE_ANSWER;
  else if (description->type == "pranswer")
    type = GST_WEBRTC_SDP_TYPE_PRANSWER;
  else if (description->type == "rollback")
    type = GST_WEBRTC_SDP_TYPE_ROLLBACK;
  else
    type = GstWebRTCSDPType(0);
  // GStreamer's parser takes no empty text (a critical, not an error), and
  // no real description comes near the size limit.
  const size_t size = description->sdp.size();
  GstSDPMessage* message = nullptr;
  gst_sdp_message_new(&message);
  const bool parsed =
      type != GstWebRTCSDPType(0) && size > 0 && size <= kMaxDescriptionBytes &&
      gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(description->sdp.data()), guint(size),
                                   message) == GST_SDP_OK &&
      gst_sdp_message_medias_len(message) > 0;
  if (!parsed) {
    gst_sdp_message_free(message);
    logMessage(LogLevel::Warning, "%s session description of type \"%.16s\" (%zu bytes) not understood",
               local ? "local" : "remote", description->type.c_str(), size);
    if (callback.set_sdp) post([callback] { callback.set_sdp(callback.arg, 1); });
    return;
  }
  if (!local && (type == GST_WEBRTC_SDP_TYPE_OFFER || type == GST_WEBRTC_SDP_TYPE_ANSWER)) {
    std::optional<VideoCodec> videoCodec;
    int audioPt = 0;
    for (const MediaLine& line : describeSdp(description->sdp)) {
      if (line.rejected) continue;
      const bool wantsOurs = line.direction == "sendrecv" || line.direction == "recvonly";
      VideoCodec chosen;
      if (line.kind == "video" && wantsOurs && !videoCodec && chooseVideoCodec(line.formats, chosen))
        videoCodec = chosen;
      if (line.kind == "audio" && wantsOurs && line.payloadTypes.count("OPUS")) audioPt = line.payloadTypes.at("OPUS");
    }
    if (type == GST_WEBRTC_SDP_TYPE_OFFER)
      linkSenders(videoCodec, false, audioPt);
    else if (videoCodec)
      startVideoSenders(*videoCodec);
  }
  ensurePlaying();
  {
    std::lock_guard lock(mutex_);
    (local ? localType_ : remoteType_) = description->type;
    (local ? localSdp_ : remoteSdp_) = description->sdp;
  }
  GstWebRTCSessionDescription* webrtcDescription = gst_webrtc_session_description_new(type, message);
  struct Request {
    Ref pc;
    SDPCallback callback;
    bool local;
    std::string sdp;
  };
  auto* request = new Request{weak_from_this(), callback, local, description->sdp};
  GstPromise* promise = gst_promise_new_with_change_func(
      [](GstPromise* promise, gpointer data) {
        auto* request = static_cast<Request*>(data);
        auto pc = request->pc.lock();
        if (!pc) return;
        int failed = 1;
        if (gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED) {
          const GstStructure* reply = gst_promise_get_reply(promise);
          GError* error = nullptr;
          if (reply) gst_structure_get(reply, "error", G_TYPE_ERROR, &error, nullptr);
          if (error) {
            logMessage(LogLevel::Warning, "description not applied: %s", error->message);
            g_error_free(error);
          } else {
            failed = 0;
          }
        }
        if (!failed && !request->local) pc->remoteDescriptionApplied(request->sdp);
        const SDPCallback callback = request->callback;
        if (callback.set_sdp) pc->post([callback, failed] { callback.set_sdp(callback.arg, failed); });
      },
      request, [](gpointer data) { delete static_cast<Request*>(data); });
  if (GstElement* webrtc = webrtcRef()) {
    g_signal_emit_by_name(webrtc, local ? "set-local-description" : "set-remote-description", webrtcDescription,
                          promise);
    gst_object_unref(webrtc);
  } else {
    gst_promise_interrupt(promise);
  }
  gst_promise_unref(promise);
  gst_webrtc_session_description_free(webrtcDescription);
}

// The remote side's stream becomes known with its description: a track for
// each kind it sends. Frames reach the video track once its decoder runs.
void PeerConnection::remoteDescriptionApplied(const std::string& sdp) {
  bool video = false, audio = false;
  for (const MediaLine& line : describeSdp(sdp)) {
    if (line.rejected) continue;
    const bool sends = line.direction == "sendrecv" || line.direction == "sendonly";
    video = video || (line.kind == "video" && sends);
    audio = audio || (line.kind == "audio" && sends);
  }
  rtc_handle streamHandle = 0;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || remoteStream_ || (!video && !audio)) return;
    remoteStream_ = std::make_shared<MediaStream>("remote");
    if (video) {
      remoteVideo_ = std::make_shared<VideoTrack>("remote video", nullptr);
      remoteVideo_->lifetime = lifetime_;
      remoteStream_->add(remoteVideo_);
    }
    if (audio) {
      remoteAudio_ = std::make_shared<AudioTrack>("remote audio", nullptr);
      remoteAudio_->lifetime = lifetime_;
      remoteStream_->add(remoteAudio_);
    }
  }
  // Handles are taken outside our lock; own() takes it again.
  if (remoteVideo_) {
    remoteVideo_->handle = handles().add(remoteVideo_);
    own(remoteVideo_->handle);
  }
  if (remoteAudio_) {
    remoteAudio_->handle = handles().add(remoteAudio_);
    own(remoteAudio_->handle);
  }
  streamHandle = handles().add(remoteStream_);
  own(streamHandle);
  {
    std::lock_guard lock(mutex_);
    remoteStreamHandle_ = streamHandle;
  }
  const PeerConnectionCallback callback = callback_;
  if (callback.add_stream) post([callback, streamHandle] { callback.add_stream(callback.arg, streamHandle); });
}

void PeerConnection::currentDescription(bool local, std::string& type, std::string& sdp) {
  std::lock_guard lock(mutex_);
  type = local ? localType_ : remoteType_;
  sdp = local ? localSdp_ : remoteSdp_;
}

std::string PeerConnection::midOf(int mline, bool local) {
  std::string sdp;
  {
    std::lock_guard lock(mutex_);
    sdp = local ? localSdp_ : remoteSdp_;
  }
  const auto lines = describeSdp(sdp);
  return mline >= 0 && mline < int(lines.size()) ? lines[size_t(mline)].mid : std::string();
}

// ---- candidates -------------------------------------------------------------

void PeerConnection::addCandidate(const std::shared_ptr<IceCandidate>& candidate, rtc_handle h) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
  }
  own(h);
  int mline = candidate->mlineIndex;
  if (mline < 0) {
    const auto lines = describeSdp([&] {
      std::lock_guard lock(mutex_);
      return remoteSdp_;
    }());
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].mid == candidate->mid) mline = int(i);
  }
  if (mline < 0 || candidate->line.empty()) return;
  if (GstElement* webrtc = webrtcRef()) {
    g_signal_emit_by_name(webrtc, "add-ice-candidate", guint(mline), candidate->line.c_str());
    gst_object_unref(webrtc);
  }
}

void PeerConnection::onIceCandidate(GstElement*, guint mline, gchar* line, gpointer self) {
  auto pc = lockRef(self);
  if (!pc || !line || !*line) return;
  auto candidate = std::make_shared<IceCandidate>(pc->midOf(int(mline), true), int(mline), line);
  const rtc_handle h = handles().add(candidate);
  pc->own(h);
  const PeerConnectionCallback callback = pc->callback_;
  if (callback.generate_icecandidate)
    pc->post([callback, h] { callback.generate_icecandidate(callback.arg, h); });
}

void PeerConnection::onIceState(GObject* object, GParamSpec*, gpointer self) {
  auto pc = lockRef(self);
  if (!pc) return;
  GstWebRTCICEConnectionState state;
  g_object_get(object, "ice-connection-state", &state, nullptr);
  const PeerConnectionCallback callback = pc->callback_;
  const int value = int(state);
  if (callback.icestate_changed) pc->post([callback, value] { callback.icestate_changed(callback.arg, value); });
  if (state == GST_WEBRTC_ICE_CONNECTION_STATE_FAILED) pc->reportEnd("ICE failed", true);
}

void PeerConnection::reportEnd(const std::string& why, bool iceFailed) {
  rtc_handle stream;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || endReported_) return;
    endReported_ = true;
    stream = remoteStreamHandle_;
  }
  logMessage(LogLevel::Warning, "connection %u: %s; reported as ended", handle, why.c_str());
  const PeerConnectionCallback callback = callback_;
  if (!iceFailed && callback.icestate_changed)
    post([callback] { callback.icestate_changed(callback.arg, RTC_ICE_FAILED); });
  if (callback.remove_stream) post([callback, stream] { callback.remove_stream(callback.arg, stream); });
}

// ---- watching the peer ------------------------------------------------------

void PeerConnection::onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer self) {
  GstElementFactory* factory = gst_element_get_factory(element);
  const char* kind = factory ? GST_OBJECT_NAME(factory) : "";
  if (std::strcmp(kind, "rtpsession") == 0) {
    g_object_set(element, "rtcp-min-interval", kReportInterval, nullptr);
    return;
  }
  if (std::strcmp(kind, "nicesrc") != 0) return;
  auto pc = lockRef(self);
  if (!pc) return;
  GstPad* pad = gst_element_get_static_pad(element, "src");
  if (!pad) return;
  gst_pad_add_probe(
      pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
      [](GstPad*, GstPadProbeInfo* info, gpointer data) {
        auto& liveness = **static_cast<std::shared_ptr<PeerLiveness>*>(data);
        const int64_t now = monotonicMs();
        auto arrived = [&](GstBuffer* buffer) {
          guint8 first = 0;
          if (gst_buffer_extract(buffer, 0, &first, 1) == 1) liveness.packetArrived(first, now);
        };
        if (GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info); buffer && (info->type & GST_PAD_PROBE_TYPE_BUFFER))
          arrived(buffer);
        if (GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info); list && (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST))
          for (guint i = 0; i < gst_buffer_list_length(list); ++i) arrived(gst_buffer_list_get(list, i));
        return GST_PAD_PROBE_OK;
      },
      new std::shared_ptr<PeerLiveness>(pc->liveness_),
      [](gpointer data) { delete static_cast<std::shared_ptr<PeerLiveness>*>(data); });
  gst_object_unref(pad);
}

void PeerConnection::tick() {
  adjustRate();
  const int64_t now = monotonicMs();
  if (liveness_->vanished(now))
    reportEnd("no packet from the peer for " + std::to_string(liveness_->silenceMs(now)) + " ms");
}

void PeerConnection::onGatheringState(GObject* object, GParamSpec*, gpointer self) {
  auto pc = lockRef(self);
  if (!pc) return;
  GstWebRTCICEGatheringState state;
  g_object_get(object, "ice-gathering-state", &state, nullptr);
  const PeerConnectionCallback callback = pc->callback_;
  const int value = int(state);
  if (callback.icegathering_changed)
    pc->post([callback, value] { callback.icegathering_changed(callback.arg, value); });
}

void PeerConnection::onNewTransceiver(GstElement*, GstWebRTCRTPTransceiver* transceiver, gpointer) {
  // Retransmission on request: lost packets of a screen picture otherwise
  // stay lost until the next key frame. Not for audio: a retransmission
  // stream on an audio line makes libwebrtc refuse the whole description.
  GstWebRTCKind kind = GST_WEBRTC_KIND_UNKNOWN;
  g_object_get(transceiver, "kind", &kind, nullptr);
  if (kind != GST_WEBRTC_KIND_AUDIO) g_object_set(transceiver, "do-nack", TRUE, nullptr);
}

// ---- data channels ----------------------------------------------------------

std::shared_ptr<DataChannel> PeerConnection::makeChannel() {
  return std::make_shared<DataChannel>(lifetime_, receiveBudget_, [weak = weak_from_this()](const std::string& why) {
    if (auto pc = weak.lock()) pc->receiveOverrun(why);
  });
}

// The whole connection goes: what its channels hold is dropped at once
// (the program may be sitting in a callback for a long while yet), and the
// program hears that the connection ended.
void PeerConnection::receiveOverrun(const std::string& why) {
  std::vector<std::shared_ptr<DataChannel>> channels;
  {
    std::lock_guard lock(channelMutex_);
    for (auto& [gst, channel] : channels_) channels.push_back(channel);
  }
  for (auto& channel : channels) channel->dropReceived();
  reportEnd(why);
}

rtc_handle PeerConnection::createDataChannel(const std::string& label, const DCCallback& callback) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return 0;
  }
  auto channel = makeChannel();
  channel->observe(callback);
  {
    std::lock_guard lock(channelMutex_);
    pendingLocal_ = channel;
  }
  // The channel may open before this emission returns; its handlers are
  // connected in prepare-data-channel, which runs first.
  GstWebRTCDataChannel* gstChannel = nullptr;
  GstStructure* options = gst_structure_new("options", "ordered", G_TYPE_BOOLEAN, TRUE, nullptr);
  if (GstElement* webrtc = webrtcRef()) {
    g_signal_emit_by_name(webrtc, "create-data-channel", label.c_str(), options, &gstChannel);
    gst_object_unref(webrtc);
  }
  gst_structure_free(options);
  {
    std::lock_guard lock(channelMutex_);
    pendingLocal_.reset();
  }
  if (!gstChannel) return 0;
  channel->attach(gstChannel);  // no-op when prepare-data-channel did it
  {
    std::lock_guard lock(channelMutex_);
    channels_[gstChannel] = channel;
  }
  gst_object_unref(gstChannel);
  channel->handle = handles().add(channel);
  own(channel->handle);
  return channel->handle;
}

void PeerConnection::onPrepareDataChannel(GstElement*, GstWebRTCDataChannel* gstChannel, gboolean local,
                                          gpointer self) {
  auto pc = lockRef(self);
  if (!pc) return;
  std::shared_ptr<DataChannel> channel;
  {
    std::lock_guard lock(pc->channelMutex_);
    if (local) {
      channel = pc->pendingLocal_;
    } else if (pc->remoteChannels_ < kMaxRemoteChannels) {
      ++pc->remoteChannels_;
      channel = pc->makeChannel();
      pc->channels_[gstChannel] = channel;
    }
  }
  if (channel) channel->attach(gstChannel);
}

void PeerConnection::onDataChannel(GstElement*, GstWebRTCDataChannel* gstChannel, gpointer self) {
  auto pc = lockRef(self);
  if (!pc) return;
  std::shared_ptr<DataChannel> channel;
  {
    std::lock_guard lock(pc->channelMutex_);
    auto it = pc->channels_.find(gstChannel);
    if (it != pc->channels_.end()) {
      channel = it->second;
    } else if (pc->remoteChannels_ < kMaxRemoteChannels) {
      ++pc->remoteChannels_;
      channel = pc->makeChannel();
      pc->channels_[gstChannel] = channel;
    }
  }
  if (!channel) {
    // Its messages reach no handler of ours: webrtcbin drops them.
    logMessage(LogLevel::Warning, "connection %u: the peer opened more than %d data channels; one ignored",
               pc->handle, kMaxRemoteChannels);
    return;
  }
  channel->attach(gstChannel);
  channel->handle = handles().add(channel);
  pc->own(channel->handle);
  const PeerConnectionCallback callback = pc->callback_;
  const rtc_handle h = channel->handle;
  if (callback.open_datachannel) pc->post([callback, h] { callback.open_datachannel(callback.arg, h); });
}

// ---- receiving media --------------------------------------------------------

void PeerConnection::onPadAdded(GstElement*, GstPad* pad, gpointer self) {
  if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC) return;
  if (auto pc = lockRef(self)) pc->linkReceiver(pad);
}

namespace {
GstFlowReturn onDecodedFrame(GstAppSink* sink, gpointer data) {
  GstSample* sample = gst_app_sink_pull_sample(sink);
  if (!sample) return GST_FLOW_OK;
  auto track = static_cast<std::weak_ptr<VideoTrack>*>(data)->lock();
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (track && buffer && gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) {
    const int width = GST_VIDEO_INFO_WIDTH(&info), height = GST_VIDEO_INFO_HEIGHT(&info);
    int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    if (GstVideoMeta* meta = gst_buffer_get_video_meta(buffer)) stride = meta->stride[0];
    GstBuffer* packed = packedFrame(buffer, width, height, stride);
    track->onFrame(packed, width, height);
    gst_buffer_unref(packed);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}
}  // namespace

void PeerConnection::linkReceiver(GstPad* pad) {
  std::shared_ptr<VideoTrack> video;
  std::shared_ptr<AudioTrack> audio;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    video = remoteVideo_;
    audio = remoteAudio_;
  }
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (!caps) caps = gst_pad_query_caps(pad, nullptr);
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  const std::string media = gst_structure_get_string(s, "media") ? gst_structure_get_string(s, "media") : "";
  const std::string encoding =
      gst_structure_get_string(s, "encoding-name") ? gst_structure_get_string(s, "encoding-name") : "";
  int payloadType = 0;
  guint ssrc = 0;
  gst_structure_get_int(s, "payload", &payloadType);
  const bool hasSsrc = gst_structure_get_uint(s, "ssrc", &ssrc);
  gst_caps_unref(caps);
  {
    std::lock_guard lock(mutex_);
    if (hasSsrc) receivedKinds_[ssrc] = media;
    if (media == "video" && (encoding == "VP8" || encoding == "H264"))
      receivedVideo_ = VideoCodecUse::of(encoding == "H264" ? VideoCodecKind::H264 : VideoCodecKind::VP8, payloadType);
  }

  std::string description;
  const std::string toFrames =
      " ! videoconvert n-threads=2 ! video/x-raw,format=BGRx ! appsink name=frames sync=false max-buffers=2 drop=true";
  if (media == "video" && encoding == "VP8" && video)
    description = "queue ! rtpvp8depay request-keyframe=true wait-for-keyframe=true ! vp8dec threads=2" + toFrames;
  else if (media == "video" && encoding == "H264" && video)
    description = "queue ! rtph264depay request-keyframe=true wait-for-keyframe=true ! h264parse "
                  "! avdec_h264 max-threads=2" + toFrames;
  else if (media == "audio" && encoding == "OPUS")
    description = "queue ! rtpopusdepay ! opusdec ! audioconvert ! audioresample ! volume name=volume ! " +
                  audio_->playoutDescription();
  else
    description = "fakesink sync=false async=false";
  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
  if (!bin) {
    logMessage(LogLevel::Warning, "receiver: %s", error ? error->message : "?");
    if (error) g_error_free(error);
    return;
  }
  if (GstElement* sink = gst_bin_get_by_name(GST_BIN(bin), "frames")) {
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onDecodedFrame;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, new std::weak_ptr<VideoTrack>(video),
                               [](gpointer data) { delete static_cast<std::weak_ptr<VideoTrack>*>(data); });
    gst_object_unref(sink);
  }
  if (GstElement* volume = gst_bin_get_by_name(GST_BIN(bin), "volume")) {
    if (audio) {
      audio->addVolume(volume);
      std::lock_guard lock(mutex_);
      audioSenders_.emplace_back(audio, volume);  // unregistered at close like the senders
    }
    gst_object_unref(volume);
  }
  gst_bin_add(GST_BIN(pipeline_), bin);
  gst_element_sync_state_with_parent(bin);
  GstPad* sink = gst_element_get_static_pad(bin, "sink");
  if (gst_pad_link(pad, sink) != GST_PAD_LINK_OK) logMessage(LogLevel::Warning, "receiver not linked");
  gst_object_unref(sink);
}

// ---- statistics and rate control --------------------------------------------

namespace {

// Every value carries `taken` (see rtc.h): webrtcbin stamps its reports in
// milliseconds of whatever clock the pipeline runs on, which a program can
// neither compare with its own time nor with the values the engine adds.
std::vector<StatValue> flattenStats(const GstStructure* reply, int64_t taken) {
  std::vector<StatValue> values;
  const int n = gst_structure_n_fields(reply);
  for (int i = 0; i < n; ++i) {
    const GValue* field = gst_structure_get_value(reply, gst_structure_nth_field_name(reply, i));
    if (!GST_VALUE_HOLDS_STRUCTURE(field)) continue;
    const GstStructure* report = gst_value_get_structure(field);
    const char* id = gst_structure_get_string(report, "id");
    const std::string type = statsTypeName(report);
    const int m = gst_structure_n_fields(report);
    for (int j = 0; j < m; ++j) {
      const char* key = gst_structure_nth_field_name(report, j);
      const GValue* value = gst_structure_get_value(report, key);
      if (GST_VALUE_HOLDS_STRUCTURE(value) || !std::strcmp(key, "type") || !std::strcmp(key, "id") ||
          !std::strcmp(key, "timestamp"))
        continue;
      std::string text;
      if (G_VALUE_HOLDS_STRING(value)) {
        text = g_value_get_string(value) ? g_value_get_string(value) : "";
      } else {
        gchar* serialized = gst_value_serialize(value);
        text = serialized ? serialized : "";
        g_free(serialized);
      }
      values.push_back({id ? id : gst_structure_nth_field_name(reply, i), type, key, text, taken});
    }
  }
  return values;
}
}  // namespace

// Two corrections of webrtcbin's statistics. It reports no codec for the
// video we encode or decode; which one was agreed is worth knowing (VP8 or
// H.264), so we name them ourselves. And in a bundled session it calls every
// received stream "video"; the receivers know each stream's kind.
void PeerConnection::addCodecStats(std::vector<StatValue>& values, int64_t taken) {
  std::pair<std::string, VideoCodecUse> uses[2];
  std::map<guint, std::string> kinds;
  {
    std::lock_guard lock(mutex_);
    uses[0] = {"codec-video-send", sentVideo_};
    uses[1] = {"codec-video-receive", receivedVideo_};
    kinds = receivedKinds_;
  }
  std::map<std::string, std::string> kindOfReport;
  for (const StatValue& v : values)
    if (v.type == "inbound-rtp" && v.key == "ssrc") {
      const auto known = kinds.find(guint(std::strtoul(v.value.c_str(), nullptr, 10)));
      if (known != kinds.end()) kindOfReport[v.id] = known->second;
    }
  for (StatValue& v : values)
    if (v.type == "inbound-rtp" && v.key == "kind" && kindOfReport.count(v.id)) v.value = kindOfReport[v.id];
  for (const auto& [id, use] : uses) {
    if (use.mimeType.empty()) continue;
    values.push_back({id, "codec", "mime-type", use.mimeType, taken});
    values.push_back({id, "codec", "payload-type", std::to_string(use.payloadType), taken});
    values.push_back({id, "codec", "codec-type", id == "codec-video-send" ? "encode" : "decode", taken});
  }
}

void PeerConnection::getStats(const StatsCallback& callback) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
  }
  struct Request {
    Ref pc;
    StatsCallback callback;
  };
  auto* request = new Request{weak_from_this(), callback};
  GstPromise* promise = gst_promise_new_with_change_func(
      [](GstPromise* promise, gpointer data) {
        auto* request = static_cast<Request*>(data);
        auto pc = request->pc.lock();
        if (!pc) return;
        std::vector<StatValue> values;
        const bool replied = gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED;
        const int64_t taken = g_get_real_time();
        if (replied && gst_promise_get_reply(promise)) values = flattenStats(gst_promise_get_reply(promise), taken);
        pc->addCodecStats(values, taken);
        const StatsCallback callback = request->callback;
        pc->post([callback, values = std::move(values)] {
          if (callback.get_stats)
            for (const auto& v : values)
              callback.get_stats(callback.arg, v.id.c_str(), v.timestamp, v.type.c_str(), v.key.c_str(),
                                 v.value.c_str());
          if (callback.complete) callback.complete(callback.arg);
        });
      },
      request, [](gpointer data) { delete static_cast<Request*>(data); });
  if (GstElement* webrtc = webrtcRef()) {
    g_signal_emit_by_name(webrtc, "get-stats", nullptr, promise);
    gst_object_unref(webrtc);
  } else {
    gst_promise_interrupt(promise);
  }
  gst_promise_unref(promise);
}

void PeerConnection::adjustRate() {
  std::vector<GstElement*> encoders;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || encoders_.empty() || !playing_) return;
    encoders = encoders_;
    for (GstElement* e : encoders) gst_object_ref(e);
  }
  struct Request {
    Ref pc;
    std::vector<GstElement*> encoders;
  };
  auto* request = new Request{weak_from_this(), encoders};
  GstPromise* promise = gst_promise_new_with_change_func(
      [](GstPromise* promise, gpointer data) {
        auto* request = static_cast<Request*>(data);
        auto pc = request->pc.lock();
        if (!pc || gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED || !gst_promise_get_reply(promise))
          return;
        guint64 bytesSent = 0;
        for (const auto& v : flattenStats(gst_promise_get_reply(promise), 0))
          if (v.type == "outbound-rtp" && v.key == "bytes-sent") bytesSent += std::strtoull(v.value.c_str(), nullptr, 10);
        pc->rate_->update(request->encoders, bytesSent);
      },
      request, [](gpointer data) {
        auto* request = static_cast<Request*>(data);
        for (GstElement* e : request->encoders) gst_object_unref(e);
        delete request;
      });
  if (GstElement* webrtc = webrtcRef()) {
    g_signal_emit_by_name(webrtc, "get-stats", nullptr, promise);
    gst_object_unref(webrtc);
  } else {
    gst_promise_interrupt(promise);
  }
  gst_promise_unref(promise);
}

}  // namespace corvala::engine
