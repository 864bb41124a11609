// Local video sources. Each runs its own capture thread, but only while
// somebody consumes its frames, and hands packed BGRx frames (GstBuffer,
// stride = width * 4) to its consumers.
#pragma once

#include "CaptureSchedule.h"
#include "FramePool.h"
#include "HandleTable.h"

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvala::engine {

class FrameConsumer {
 public:
  virtual ~FrameConsumer() = default;
  // Called on a capture or streaming thread; must not block.
  virtual void onFrame(GstBuffer* frame, int width, int height) = 0;
};

class VideoSource : public EngineObject, public std::enable_shared_from_this<VideoSource> {
 public:
  // An idle source captures afresh every `keepAlive` and sends an unchanged
  // picture again every `kRepeatKeepAlives` of them (after a consumer joined,
  // every keep-alive for that long), so that a receiver that lost a packet
  // or joined late gets a picture, and a viewer's stalled-picture check
  // (8 s) never fires on a quiet screen.
  // `now`: the capture loop's clock (a test's own).
  VideoSource(int maxWidth, int maxHeight, int fps,
              std::chrono::milliseconds keepAlive = std::chrono::seconds(1),
              CaptureSchedule::Now now = &CaptureSchedule::Clock::now);
  ~VideoSource() override;

  void addConsumer(FrameConsumer* consumer);
  // A new receiver of this source's frames (through a consumer that was
  // already there): for a repeat from now every keep-alive goes out, even
  // with an unchanged picture.
  void welcome() { joined_ = true; }
  void removeConsumer(FrameConsumer* consumer);
  // Ends capture for good (the handle was destroyed).
  void shutdown();

  // Whether frames of that size are within the bounds rtc.h documents.
  static bool framesFit(int width, int height);
  static constexpr int kRepeatKeepAlives = 3;

  int maxWidth() const { return maxWidth_; }
  int maxHeight() const { return maxHeight_; }
  int fps() const { return fps_; }

 protected:
  // Capture-thread hooks. grab() returns a new frame (caller owns it) or
  // nullptr when nothing changed since the last one.
  virtual bool begin() { return true; }
  virtual GstBuffer* grab(int& width, int& height) = 0;
  // The keep-alive is due: the next grab() must capture even if no change
  // was reported. A change that the change detection missed then shows
  // within one keep-alive instead of never (repeating the previous frame
  // would repeat the stale picture for good).
  virtual void refresh() {}
  virtual void end() {}
  // Waits until a change is reported (true) or until `deadline` or a stop
  // (false). Sources that cannot tell look every period: true at once.
  virtual bool waitForChange(CaptureSchedule::TimePoint deadline);
  // Waits until the frame rate allows the next look (or a stop).
  virtual void waitForNextFrame(CaptureSchedule::TimePoint deadline);
  // Waits until `fd` (-1: none) is readable (true), or until `deadline` or
  // a stop (false).
  bool waitReadable(int fd, CaptureSchedule::TimePoint deadline);
  bool stopRequested() const { return stop_.load(); }
  // A frame buffer for grab(), reused once its consumers let go of it.
  GstBuffer* newFrame(gsize size) { return frames_.acquire(size); }

  // Frames of at most this size keep their size; larger ones are scaled down
  // by the senders, keeping the aspect ratio.
  const int maxWidth_, maxHeight_, fps_;
  const std::chrono::milliseconds keepAlive_;
  const CaptureSchedule::Now now_;

 private:
  void run();
  void startLocked();
  void stopThread(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::vector<FrameConsumer*> consumers_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  int wakeFd_ = -1;  // eventfd: a stop ends the capture thread's waits at once
  std::atomic<bool> joined_{false};
  bool shutDown_ = false;
  std::mutex deliverMutex_;  // held while frames go out; consumers leave under it
  FramePool frames_;         // capture thread only
};

// Frames pulled from the program through a VirtualCaptureCallback.
class VirtualSource : public VideoSource {
 public:
  VirtualSource(int width, int height, int fps, const VirtualCaptureCallback& callback)
      : VideoSource(width, height, fps), callback_(callback) {}
  ~VirtualSource() override { shutdown(); }

 protected:
  bool begin() override;
  GstBuffer* grab(int& width, int& height) override;
  void end() override;

 private:
  VirtualCaptureCallback callback_;
  bool started_ = false;
};

// Copies a packed BGRx frame out of a buffer that may carry row padding.
GstBuffer* packedFrame(GstBuffer* buffer, int width, int height, int stride);

}  // namespace corvala::engine
