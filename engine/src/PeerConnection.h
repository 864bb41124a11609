// One peer connection: a pipeline around one webrtcbin, its senders (local
// tracks), receivers (remote tracks) and data channels.
//
// webrtcbin runs every signal on its own threads; the handlers here only
// copy what they got and post the program's callback to the dispatch
// thread, so that nothing the program does inside a callback can block a
// GStreamer thread, and close() can take the pipeline down from any thread.
#pragma once

#include "DataChannel.h"
#include "Dispatcher.h"
#include "MediaObjects.h"
#include "VideoCodec.h"
#include "rtc.h"

#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace corvala::engine {

class VideoSender;

struct StatValue {
  std::string id, type, key, value;
  int64_t timestamp;
};

// The video codec a connection sends or receives, as statistics name it.
struct VideoCodecUse {
  std::string mimeType;  // "video/VP8", "video/H264"; empty when none
  int payloadType = 0;
  static VideoCodecUse of(VideoCodecKind kind, int payloadType) {
    return {kind == VideoCodecKind::H264 ? "video/H264" : "video/VP8", payloadType};
  }
};
class RateController;
class PeerLiveness;

class PeerConnection : public EngineObject, public std::enable_shared_from_this<PeerConnection> {
 public:
  static std::shared_ptr<PeerConnection> create(const std::shared_ptr<Factory>& factory,
                                                const std::vector<IceServer>& servers,
                                                const PeerConnectionCallback& callback);
  ~PeerConnection() override;

  void addStream(const std::shared_ptr<MediaStream>& stream);
  rtc_handle createDataChannel(const std::string& label, const DCCallback& callback);
  void createOffer(const SDPCallback& callback);
  void createAnswer(const SDPCallback& callback);
  void setDescription(const std::shared_ptr<SessionDescription>& description, rtc_handle handle, bool local,
                      const SDPCallback& callback);
  void addCandidate(const std::shared_ptr<IceCandidate>& candidate, rtc_handle handle);
  void getStats(const StatsCallback& callback);
  void close();
  void currentDescription(bool local, std::string& type, std::string& sdp);
  // Called once a second (ConnectionTicker): rate control, and whether the
  // peer is still there.
  void tick();
  // Tells the program, once, that the connection has ended (ICE state
  // failed, then remove_stream), for the reason logged; the program closes it.
  void reportEnd(const std::string& why, bool iceFailed = false);

  rtc_handle handle = 0;

 private:
  explicit PeerConnection(const PeerConnectionCallback& callback);
  bool build(const std::shared_ptr<Factory>& factory, const std::vector<IceServer>& servers);
  void own(rtc_handle handle);
  GstElement* webrtcRef();
  void unblockDataSenders();
  void post(std::function<void()> task);
  void linkSenders(const std::optional<VideoCodec>& videoCodec, bool offering, int audioPt);
  void startVideoSenders(const VideoCodec& codec);
  void addReceiveOnly(const char* kind);
  void ensurePlaying();
  void emitSdpRequest(const char* signal, const SDPCallback& callback);
  void remoteDescriptionApplied(const std::string& sdp);
  std::string midOf(int mline, bool local);

  // webrtcbin handlers (threads of webrtcbin and its streaming threads)
  static void onIceCandidate(GstElement*, guint mline, gchar* candidate, gpointer self);
  static void onPrepareDataChannel(GstElement*, GstWebRTCDataChannel* channel, gboolean local, gpointer self);
  static void onDataChannel(GstElement*, GstWebRTCDataChannel* channel, gpointer self);
  static void onPadAdded(GstElement*, GstPad* pad, gpointer self);
  static void onNewTransceiver(GstElement*, GstWebRTCRTPTransceiver* transceiver, gpointer self);
  static void onIceState(GObject*, GParamSpec*, gpointer self);
  static void onGatheringState(GObject*, GParamSpec*, gpointer self);
  void linkReceiver(GstPad* pad);
  std::shared_ptr<DataChannel> makeChannel();
  void receiveOverrun(const std::string& why);
  void addCodecStats(std::vector<StatValue>& values, int64_t taken);
  void adjustRate();
  static void onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer self);

  const PeerConnectionCallback callback_;
  const std::shared_ptr<Lifetime> lifetime_ = std::make_shared<Lifetime>();
  std::shared_ptr<AudioModule> audio_;
  GstElement* pipeline_ = nullptr;
  GstElement* webrtc_ = nullptr;

  std::mutex mutex_;
  bool closed_ = false;
  bool playing_ = false;
  bool sendersLinked_ = false;
  std::vector<std::shared_ptr<MediaStream>> localStreams_;
  std::vector<std::shared_ptr<VideoSender>> videoSenders_;
  std::vector<std::pair<std::shared_ptr<AudioTrack>, GstElement*>> audioSenders_;
  std::vector<rtc_handle> owned_;
  std::string localType_, localSdp_, remoteType_, remoteSdp_;
  std::shared_ptr<MediaStream> remoteStream_;
  rtc_handle remoteStreamHandle_ = 0;
  std::shared_ptr<VideoTrack> remoteVideo_;
  std::shared_ptr<AudioTrack> remoteAudio_;
  std::vector<GstElement*> encoders_;
  VideoCodecUse sentVideo_, receivedVideo_;
  std::map<guint, std::string> receivedKinds_;  // by SSRC: "audio", "video"

  std::mutex channelMutex_;  // never held while webrtcbin is called
  std::shared_ptr<DataChannel> pendingLocal_;
  std::map<GstWebRTCDataChannel*, std::shared_ptr<DataChannel>> channels_;
  int remoteChannels_ = 0;
  const std::shared_ptr<ReceiveBudget> receiveBudget_ =
      std::make_shared<ReceiveBudget>(RTC_MAX_QUEUED_BYTES, RTC_MAX_QUEUED_MESSAGES);

  std::unique_ptr<RateController> rate_;
  const std::shared_ptr<PeerLiveness> liveness_;
  bool endReported_ = false;  // under mutex_
};

}  // namespace corvala::engine
