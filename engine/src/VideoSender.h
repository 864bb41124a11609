// The sending end of one local video track in one peer connection: the
// track's shared encoder (one per track and codec, whatever the number of
// connections) -> this connection's appsrc of encoded frames -> payloader
// -> webrtcbin. The payloader is this connection's own, so that each keeps
// its payload type, SSRC and retransmission. It is added once the codec is
// agreed: at once for an answer, when the answer arrives for an offer
// (which lists both).
#pragma once

#include "MediaObjects.h"
#include "SharedEncoder.h"
#include "VideoCodec.h"

#include <gst/gst.h>

#include <memory>
#include <mutex>
#include <optional>

namespace corvala::engine {

class TrackEncoder;

class VideoSender {
 public:
  // `codec` empty: the transceiver offers every codec we can send, and
  // start() follows later.
  static std::shared_ptr<VideoSender> create(GstElement* pipeline, GstElement* webrtc,
                                             const std::shared_ptr<VideoTrack>& track,
                                             const std::optional<VideoCodec>& codec, guint32 ssrc);
  ~VideoSender();

  // Joins the track's encoder for `codec` and links this connection's
  // payloader to webrtcbin. Once only; returns false when the elements
  // cannot be made.
  bool start(const VideoCodec& codec);
  bool started() const;
  // Leaves the shared encoder: no frame reaches this connection afterwards.
  void detach();
  // The (shared) encoder once started, else null.
  GstElement* encoder() const;

  // The caps a transceiver prefers: one codec, or all we send.
  static std::string rtpCaps(const std::optional<VideoCodec>& codec, guint32 ssrc);

 private:
  VideoSender() = default;

  std::weak_ptr<VideoTrack> track_;
  GstElement* pipeline_ = nullptr;
  GstPad* webrtcPad_ = nullptr;
  guint32 ssrc_ = 0;
  mutable std::mutex mutex_;
  std::shared_ptr<TrackEncoder> encoder_;
  std::shared_ptr<EncodedOutlet> outlet_;
};

}  // namespace corvala::engine
