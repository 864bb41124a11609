#include "FramePool.h"

namespace corvala::engine {

GstBuffer* FramePool::acquire(gsize size) {
  if (pool_ && size != size_) clear();
  if (!pool_) {
    pool_ = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool_);
    gst_buffer_pool_config_set_params(config, nullptr, guint(size), 2, 0);
    if (!gst_buffer_pool_set_config(pool_, config) || !gst_buffer_pool_set_active(pool_, TRUE)) {
      clear();
      return gst_buffer_new_allocate(nullptr, size, nullptr);
    }
    size_ = size;
  }
  GstBuffer* buffer = nullptr;
  if (gst_buffer_pool_acquire_buffer(pool_, &buffer, nullptr) != GST_FLOW_OK) return nullptr;
  return buffer;
}

void FramePool::clear() {
  if (!pool_) return;
  gst_buffer_pool_set_active(pool_, FALSE);
  gst_object_unref(pool_);
  pool_ = nullptr;
  size_ = 0;
}

}  // namespace corvala::engine
