// The sending end of one local video track in one peer connection:
// appsrc -> leaky one-buffer queue -> convert/scale -> encoder -> RTP.
// The encoder (VP8 or H.264) is added once the codec is agreed: at once for
// an answer, when the answer arrives for an offer (which lists both).
#pragma once

#include "MediaObjects.h"
#include "VideoCodec.h"

#include <gst/gst.h>

#include <memory>
#include <mutex>
#include <optional>

namespace corvala::engine {

class VideoSender : public FrameConsumer {
 public:
  // `codec` empty: the transceiver offers every codec we can send, and
  // start() follows later.
  static std::shared_ptr<VideoSender> create(GstElement* pipeline, GstElement* webrtc,
                                             const std::shared_ptr<VideoTrack>& track,
                                             const std::optional<VideoCodec>& codec, guint32 ssrc);
  ~VideoSender() override;

  // Adds the encoder and payloader for `codec` and links them to webrtcbin.
  // Once only; returns false when the elements cannot be made.
  bool start(const VideoCodec& codec);
  bool started() const;
  void onFrame(GstBuffer* frame, int width, int height) override;
  void detach();
  // The encoder once started, else null.
  GstElement* encoder() const;

  // Bitrate the encoder aims at for this size and frame rate.
  static int targetBitrate(int width, int height, int fps);
  // The caps a transceiver prefers: one codec, or all we send.
  static std::string rtpCaps(const std::optional<VideoCodec>& codec, guint32 ssrc);

 private:
  VideoSender() = default;

  std::weak_ptr<VideoTrack> track_;
  GstElement* pipeline_ = nullptr;
  GstElement* appsrc_ = nullptr;
  GstElement* scaleCaps_ = nullptr;
  GstElement* front_ = nullptr;   // the raw part, from appsrc to I420
  GstPad* webrtcPad_ = nullptr;
  GstElement* encoder_ = nullptr;
  guint32 ssrc_ = 0;
  mutable std::mutex mutex_;
  int width_ = 0, height_ = 0;
  int maxWidth_ = 0, maxHeight_ = 0, fps_ = 30;
};

}  // namespace corvala::engine
