#include "VideoSource.h"

#include "rtc.h"

#include <algorithm>

namespace corvala::engine {

namespace {
// A limit above the largest frame is no limit at all: the largest frame.
int sideLimit(int requested, int unset) {
  return requested > 0 ? std::min(requested, int(RTC_MAX_FRAME_SIDE)) : unset;
}
}  // namespace

bool VideoSource::framesFit(int width, int height) {
  return width > 0 && height > 0 && width <= RTC_MAX_FRAME_SIDE && height <= RTC_MAX_FRAME_SIDE &&
         int64_t(width) * height <= RTC_MAX_FRAME_PIXELS;
}

VideoSource::VideoSource(int maxWidth, int maxHeight, int fps, std::chrono::milliseconds keepAlive)
    : maxWidth_(sideLimit(maxWidth, 640)),
      maxHeight_(sideLimit(maxHeight, 480)),
      fps_(std::clamp(fps > 0 ? fps : 30, 1, 120)),
      keepAlive_(keepAlive) {}

VideoSource::~VideoSource() {
  // Derived classes call shutdown() in their destructor, while their hooks
  // still exist; this is only a safety net for the thread object.
  if (thread_.joinable()) {
    stop_ = true;
    thread_.join();
  }
}

void VideoSource::addConsumer(FrameConsumer* consumer) {
  std::unique_lock lock(mutex_);
  if (shutDown_) return;
  {
    std::lock_guard deliver(deliverMutex_);
    consumers_.push_back(consumer);
  }
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
  // A program-fed source's get_frame may destroy the source and whatever
  // else holds it (its factory's tracks): the running thread keeps its
  // source alive until it has left the loop. A source nobody shares (a
  // test's) is kept by its owner instead.
  thread_ = std::thread([this, keep = weak_from_this().lock()] { run(); });
}

void VideoSource::stopThread(std::unique_lock<std::mutex>& lock) {
  if (!thread_.joinable()) return;
  stop_ = true;
  std::thread thread = std::move(thread_);
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();  // a consumer left from inside a frame delivery
    return;
  }
  lock.unlock();
  thread.join();
  lock.lock();
}

void VideoSource::waitForNextFrame(std::chrono::steady_clock::time_point deadline) {
  while (!stop_ && std::chrono::steady_clock::now() < deadline) {
    auto left = deadline - std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
  }
}

void VideoSource::run() {
  if (!begin()) return;
  using clock = std::chrono::steady_clock;
  const auto period = std::chrono::microseconds(1000000 / fps_);
  GstBuffer* last = nullptr;
  int lastWidth = 0, lastHeight = 0;
  auto lastSent = clock::now();
  auto next = clock::now();
  while (!stop_) {
    int width = 0, height = 0;
    const bool keepAliveDue = last && clock::now() - lastSent >= keepAlive_;
    if (keepAliveDue) refresh();
    GstBuffer* frame = grab(width, height);
    const auto now = clock::now();
    if (frame) {
      if (last) gst_buffer_unref(last);
      last = frame;
      lastWidth = width;
      lastHeight = height;
    }
    // Without a new frame the keep-alive repeats the last one (the source
    // could not capture, e.g. an unmapped window).
    if ((frame || (last && now - lastSent >= keepAlive_)) && !stop_) {
      std::lock_guard deliver(deliverMutex_);
      for (FrameConsumer* consumer : consumers_) consumer->onFrame(last, lastWidth, lastHeight);
      lastSent = now;
    }
    next += period;
    if (next < now) next = now;  // fell behind: don't burst to catch up
    waitForNextFrame(next);
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
