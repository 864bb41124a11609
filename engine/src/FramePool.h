// Frame buffers of one size, reused: a source captures a full picture
// many times a second, and a new multi-megabyte allocation for each frame
// leaves the process's heap fragmented (glibc then keeps tens of MB that no
// frame uses any more). Buffers come back here when their last consumer
// lets go; a new size starts a new pool.
#pragma once

#include <gst/gst.h>

namespace corvala::engine {

class FramePool {
 public:
  FramePool() = default;
  ~FramePool() { clear(); }
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  // A writable buffer of `size` bytes (contents undefined); nullptr only
  // when no memory could be had.
  GstBuffer* acquire(gsize size);
  // Buffers still out are freed when they come back.
  void clear();

 private:
  GstBufferPool* pool_ = nullptr;
  gsize size_ = 0;
};

}  // namespace corvala::engine
