// One encode of a local video track per codec, shared by every connection
// that sends the track:
//   appsrc -> leaky one-buffer queue -> convert/scale -> encoder -> appsink
// in a pipeline of its own. Each connection has its own pipeline around its
// own webrtcbin, so a tee cannot reach them; the encoded frames are handed
// to each connection's EncodedOutlet (an appsrc of encoded caps in that
// connection's pipeline, followed by its own payloader).
#pragma once

#include "VideoCodec.h"
#include "VideoSource.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace corvala::engine {

class SharedEncoder;

// The per-connection end of a shared encoder. It never blocks the encoder:
// a connection whose transport backs up has frames dropped for it alone,
// and after a drop it waits for the next key frame (a delta frame without
// its reference would only show garbage) and asks for one, at most once a
// second.
class EncodedOutlet {
 public:
  // Frames waiting in the outlet beyond which it drops instead of queueing.
  static constexpr guint64 kBacklogLimit = 3;

  // `appsrc` belongs to the connection's pipeline; the outlet keeps a ref.
  explicit EncodedOutlet(GstElement* appsrc);
  ~EncodedOutlet();
  EncodedOutlet(const EncodedOutlet&) = delete;
  EncodedOutlet& operator=(const EncodedOutlet&) = delete;

  // From the encoder's streaming thread; never blocks.
  void push(GstBuffer* frame, GstCaps* caps, SharedEncoder& encoder);
  // Key frames asked by the receiver (RTCP PLI/FIR reach the appsrc as an
  // upstream force-key-unit event) go to `encoder`.
  void forwardKeyRequests(const std::weak_ptr<SharedEncoder>& encoder);
  guint64 dropped() const { return dropped_; }

 private:
  static GstPadProbeReturn onUpstreamEvent(GstPad* pad, GstPadProbeInfo* info, gpointer self);

  GstElement* appsrc_;
  std::mutex mutex_;
  std::weak_ptr<SharedEncoder> keySource_;
  gulong probe_ = 0;
  GstCaps* caps_ = nullptr;  // encoder thread only
  bool waitingForKey_ = true;
  std::chrono::steady_clock::time_point lastAsked_{};  // encoder thread only
  std::atomic<guint64> dropped_{0};
};

class SharedEncoder : public std::enable_shared_from_this<SharedEncoder> {
 public:
  // Null when the elements cannot be made (a codec plug-in missing).
  static std::shared_ptr<SharedEncoder> create(VideoCodecKind kind, int maxWidth, int maxHeight, int fps);
  ~SharedEncoder();
  SharedEncoder(const SharedEncoder&) = delete;
  SharedEncoder& operator=(const SharedEncoder&) = delete;

  // Raw BGRx frames in, from the track's capture thread; never blocks.
  FrameConsumer& input() { return feed_; }
  // A new outlet gets a key frame at once; delta frames before it are not
  // sent to it.
  void add(const std::shared_ptr<EncodedOutlet>& outlet);
  void remove(const EncodedOutlet* outlet);
  size_t outletCount() const;
  // Any number of requests until the next key frame leave the encoder
  // yield one.
  void requestKeyFrame();

  VideoCodecKind kind() const { return kind_; }
  GstElement* encoder() const { return encoder_; }
  GstElement* pipeline() const { return pipeline_; }

 private:
  class Feed : public FrameConsumer {
   public:
    explicit Feed(SharedEncoder& owner) : owner_(owner) {}
    void onFrame(GstBuffer* frame, int width, int height) override { owner_.encode(frame, width, height); }

   private:
    SharedEncoder& owner_;
  };

  SharedEncoder(VideoCodecKind kind, int maxWidth, int maxHeight, int fps);
  void encode(GstBuffer* frame, int width, int height);
  static GstFlowReturn onSample(GstAppSink* appsink, gpointer self);

  const VideoCodecKind kind_;
  const int maxWidth_, maxHeight_, fps_;
  Feed feed_{*this};
  GstElement* pipeline_ = nullptr;
  GstElement* appsrc_ = nullptr;
  GstElement* scaleCaps_ = nullptr;
  GstElement* encoder_ = nullptr;
  GstElement* appsink_ = nullptr;
  std::mutex inputMutex_;  // capture side: the input caps
  int width_ = 0, height_ = 0;
  mutable std::mutex outletMutex_;
  std::vector<std::shared_ptr<EncodedOutlet>> outlets_;
  // A forced key frame is on its way; further requests wait for it, unless
  // it is overdue (the request was lost while the encoder started).
  std::mutex keyMutex_;
  bool keyPending_ = false;
  std::chrono::steady_clock::time_point keyRequested_{};
};

}  // namespace corvala::engine
