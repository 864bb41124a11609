#include "VideoSource.h"

#include "rtc.h"

#include <sys/eventfd.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvala::engine {

namespace {
// A limit above the largest frame is no limit at all: the largest frame.
int sideLimit(int requested, int unset) {
  return requested > 0 ? std::min(requested, int(RTC_MAX_FRAME_SIDE)) : unset;
}

bool samePixels(GstBuffer* a, GstBuffer* b) {
  if (gst_buffer_get_size(a) != gst_buffer_get_size(b)) return false;
  GstMapInfo first, second;
  if (!gst_buffer_map(a, &first, GST_MAP_READ)) return false;
  bool same = false;
  if (gst_buffer_map(b, &second, GST_MAP_READ)) {
    same = std::memcmp(first.data, second.data, first.size) == 0;
    gst_buffer_unmap(b, &second);
  }
  gst_buffer_unmap(a, &first);
  return same;
}

}  // namespace

bool VideoSource::framesFit(int width, int height) {
  return width > 0 && height > 0 && width <= RTC_MAX_FRAME_SIDE && height <= RTC_MAX_FRAME_SIDE &&
         int64_t(width) * height <= RTC_MAX_FRAME_PIXELS;
}

VideoSource::VideoSource(int maxWidth, int maxHeight, int fps, std::chrono::milliseconds keepAlive,
                         CaptureSchedule::Now now)
    : maxWidth_(sideLimit(maxWidth, 640)),
      maxHeight_(sideLimit(maxHeight, 480)),
      fps_(std::clamp(fps > 0 ? fps : 30, 1, 120)),
      keepAlive_(keepAlive),
      now_(std::move(now)),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

VideoSource::~VideoSource() {
  // Derived classes call shutdown() in their destructor, while their hooks
  // still exist; this is only a safety net for the thread object.
  if (thread_.joinable()) {
    stop_ = true;
    thread_.join();
  }
  if (wakeFd_ >= 0) close(wakeFd_);
}

void VideoSource::addConsumer(FrameConsumer* consumer) {
  std::unique_lock lock(mutex_);
  if (shutDown_) return;
  {
    std::lock_guard deliver(deliverMutex_);
    consumers_.push_back(consumer);
  }
  welcome();
  if (!thread_.joinable()) startLocked();
}

void VideoSource::removeConsumer(FrameConsumer* consumer) {
  std::unique_lock lock(mutex_);
  {
    std::lock_guard deliver(deliverMutex_);
    consumers_.erase(std::remove(consumers_.begin(), consumers_.end(), consumer), consumers_.end());
  }
  if (consumers_.empty()) stopThread(lock);
}

void VideoSource::shutdown() {
  std::unique_lock lock(mutex_);
  shutDown_ = true;
  {
    std::lock_guard deliver(deliverMutex_);
    consumers_.clear();
  }
  stopThread(lock);
}

void VideoSource::startLocked() {
  stop_ = false;
  // The previous stop's wake-up is spent (an empty eventfd just says EAGAIN).
  uint64_t stops = 0;
  [[maybe_unused]] const ssize_t drained = read(wakeFd_, &stops, sizeof stops);
  // A program-fed source's get_frame may destroy the source and whatever
  // else holds it (its factory's tracks): the running thread keeps its
  // source alive until it has left the loop. A source nobody shares (a
  // test's) is kept by its owner instead.
  thread_ = std::thread([this, keep = weak_from_this().lock()] { run(); });
}

void VideoSource::stopThread(std::unique_lock<std::mutex>& lock) {
  if (!thread_.joinable()) return;
  stop_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t woken = write(wakeFd_, &one, sizeof one);
  std::thread thread = std::move(thread_);
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();  // a consumer left from inside a frame delivery
    return;
  }
  lock.unlock();
  thread.join();
  lock.lock();
}

bool VideoSource::waitReadable(int fd, CaptureSchedule::TimePoint deadline) {
  while (!stop_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now_()).count();
    if (left <= 0) return false;
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
    const int ready = poll(fds, fd >= 0 ? 2 : 1, int(std::min<int64_t>(left, 1000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && fds[0].revents) return false;
    if (ready > 0 && fd >= 0 && fds[1].revents) return true;
  }
  return false;
}

bool VideoSource::waitForChange(CaptureSchedule::TimePoint) { return true; }

void VideoSource::waitForNextFrame(CaptureSchedule::TimePoint deadline) { waitReadable(-1, deadline); }

void VideoSource::run() {
  if (!begin()) return;
  CaptureSchedule schedule(std::chrono::microseconds(1000000 / fps_), keepAlive_, keepAlive_ * kRepeatKeepAlives,
                           now_);
  GstBuffer* last = nullptr;
  int lastWidth = 0, lastHeight = 0;
  while (!stop_) {
    if (joined_.exchange(false)) schedule.consumerJoined();
    int width = 0, height = 0;
    const bool keepAliveDue = last && schedule.keepAliveDue();
    if (keepAliveDue) {
      refresh();
      schedule.refreshed();
    }
    const auto lookedAt = schedule.now();
    GstBuffer* frame = grab(width, height);
    // Without a fresh picture at the keep-alive (the source could not
    // capture, e.g. an unmapped window) the last one is repeated; a fresh
    // picture that shows nothing new goes out only when a repeat is due.
    bool send = frame != nullptr || keepAliveDue;
    if (frame && keepAliveDue && width == lastWidth && height == lastHeight && samePixels(frame, last)) {
      gst_buffer_unref(frame);
      frame = nullptr;
      send = schedule.repeatDue();
    }
    if (frame) {
      if (last) gst_buffer_unref(last);
      last = frame;
      lastWidth = width;
      lastHeight = height;
    }
    if (send && !stop_) {
      std::lock_guard deliver(deliverMutex_);
      for (FrameConsumer* consumer : consumers_) consumer->onFrame(last, lastWidth, lastHeight);
      schedule.frameSent();
    }
    if (send || !keepAliveDue) schedule.looked(lookedAt);
    // Changes reported while the rate holds the next look back are all in
    // the picture that look takes.
    if (!stop_) waitForChange(schedule.keepAliveAt());
    if (!stop_) waitForNextFrame(schedule.nextLook());
  }
  if (last) gst_buffer_unref(last);
  end();
  frames_.clear();
}

bool VirtualSource::begin() {
  started_ = !callback_.start || callback_.start(callback_.arg, maxWidth_, maxHeight_, fps_) != 0;
  return started_;
}

GstBuffer* VirtualSource::grab(int& width, int& height) {
  if (!callback_.get_frame) return nullptr;
  const gsize size = gsize(maxWidth_) * maxHeight_ * 4;
  GstBuffer* buffer = newFrame(size);
  if (!buffer) return nullptr;
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  const int filled = callback_.get_frame(callback_.arg, map.data, maxWidth_, maxHeight_);
  gst_buffer_unmap(buffer, &map);
  if (!filled) {
    gst_buffer_unref(buffer);
    return nullptr;
  }
  width = maxWidth_;
  height = maxHeight_;
  return buffer;
}

void VirtualSource::end() {
  if (started_ && callback_.stop) callback_.stop(callback_.arg);
  started_ = false;
}

GstBuffer* packedFrame(GstBuffer* buffer, int width, int height, int stride) {
  if (stride == width * 4) return gst_buffer_ref(buffer);
  GstBuffer* packed = gst_buffer_new_allocate(nullptr, gsize(width) * height * 4, nullptr);
  GstMapInfo in, out;
  gst_buffer_map(buffer, &in, GST_MAP_READ);
  gst_buffer_map(packed, &out, GST_MAP_WRITE);
  for (int row = 0; row < height; ++row)
    std::copy_n(in.data + size_t(row) * stride, size_t(width) * 4, out.data + size_t(row) * width * 4);
  gst_buffer_unmap(packed, &out);
  gst_buffer_unmap(buffer, &in);
  return packed;
}

}  // namespace corvala::engine
