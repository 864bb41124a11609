#include "Renderer.h"

namespace corvala::engine {

Renderer::~Renderer() {
  if (pending_) gst_buffer_unref(pending_);
}

void Renderer::onFrame(GstBuffer* frame, int width, int height) {
  bool schedule = false;
  {
    std::lock_guard lock(mutex_);
    if (pending_) gst_buffer_unref(pending_);
    pending_ = gst_buffer_ref(frame);
    pendingWidth_ = width;
    pendingHeight_ = height;
    schedule = !scheduled_;
    scheduled_ = true;
  }
  if (schedule) {
    auto self = shared_from_this();
    Dispatcher::instance().post(owner_, [self] { self->deliver(); });
  }
}

void Renderer::deliver() {
  GstBuffer* frame;
  int width, height;
  {
    std::lock_guard lock(mutex_);
    frame = pending_;
    pending_ = nullptr;
    width = pendingWidth_;
    height = pendingHeight_;
    scheduled_ = false;
  }
  if (!frame) return;
  if ((width != announcedWidth_ || height != announcedHeight_) && callback_.set_size) {
    callback_.set_size(callback_.arg, width, height);
    announcedWidth_ = width;
    announcedHeight_ = height;
  }
  GstMapInfo map;
  if (callback_.render_frame && owner_->alive() && gst_buffer_map(frame, &map, GST_MAP_READ)) {
    if (map.size >= size_t(width) * height * 4) callback_.render_frame(callback_.arg, map.data);
    gst_buffer_unmap(frame, &map);
  }
  gst_buffer_unref(frame);
}

}  // namespace corvala::engine
