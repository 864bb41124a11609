// The sending end of one local video track in one peer connection:
// appsrc -> leaky one-buffer queue -> convert/scale -> VP8 (realtime) -> RTP.
#pragma once

#include "MediaObjects.h"

#include <gst/gst.h>

#include <memory>
#include <mutex>

namespace corvala::engine {

class VideoSender : public FrameConsumer {
 public:
  static std::shared_ptr<VideoSender> create(GstElement* pipeline, GstElement* webrtc,
                                             const std::shared_ptr<VideoTrack>& track, int payloadType,
                                             guint32 ssrc);
  ~VideoSender() override;

  void onFrame(GstBuffer* frame, int width, int height) override;
  void detach();
  GstElement* encoder() const { return encoder_; }

  // Bitrate the encoder aims at for this size and frame rate.
  static int targetBitrate(int width, int height, int fps);

 private:
  VideoSender() = default;

  std::weak_ptr<VideoTrack> track_;
  GstElement* appsrc_ = nullptr;
  GstElement* scaleCaps_ = nullptr;
  GstElement* encoder_ = nullptr;
  std::mutex mutex_;
  int width_ = 0, height_ = 0;
  int maxWidth_ = 0, maxHeight_ = 0, fps_ = 30;
};

}  // namespace corvala::engine
