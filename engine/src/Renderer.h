// Hands frames of one track to a program's VideoRendererCallback through the
// dispatch thread. Only the newest frame waits: a slow program skips frames
// instead of piling them up.
#pragma once

#include "Dispatcher.h"
#include "VideoSource.h"
#include "rtc.h"

namespace corvala::engine {

class Renderer : public FrameConsumer, public std::enable_shared_from_this<Renderer> {
 public:
  Renderer(const VideoRendererCallback& callback, std::shared_ptr<Lifetime> owner)
      : callback_(callback), owner_(std::move(owner)) {}
  ~Renderer() override;
  void onFrame(GstBuffer* frame, int width, int height) override;

 private:
  void deliver();

  const VideoRendererCallback callback_;
  const std::shared_ptr<Lifetime> owner_;
  std::mutex mutex_;
  GstBuffer* pending_ = nullptr;
  int pendingWidth_ = 0, pendingHeight_ = 0;
  bool scheduled_ = false;
  int announcedWidth_ = 0, announcedHeight_ = 0;  // dispatch thread only
};

}  // namespace corvala::engine
