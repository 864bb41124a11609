// The X screen (root window, all monitors) or one X window as a video
// source: XShm copies into appsrc buffers, only when XDamage reports a
// change (the base class repeats the last frame once a second). Between
// frames the capture thread sleeps on the X connection, so that a change on
// a quiet screen is captured as soon as its report arrives.
#pragma once

#include "VideoSource.h"
#include "xshm/XShmImage.h"

#include <X11/Xlib.h>

#include <memory>

namespace corvala::engine {

class ScreenSource : public VideoSource {
 public:
  // window 0 = the root window. nullptr when there is no display or the
  // window does not exist.
  static std::shared_ptr<ScreenSource> create(int maxWidth, int maxHeight, int fps, unsigned long window);
  ~ScreenSource() override;

 protected:
  bool begin() override;
  GstBuffer* grab(int& width, int& height) override;
  void refresh() override { dirty_ = true; }
  bool waitForChange(CaptureSchedule::TimePoint deadline) override;
  void end() override;

 private:
  ScreenSource(int maxWidth, int maxHeight, int fps) : VideoSource(maxWidth, maxHeight, fps) {}
  void processEvents();
  // The window's current state and size; false when there is nothing to copy.
  bool readAttributes();

  Display* display_ = nullptr;
  Window window_ = 0;
  bool isRoot_ = true;
  unsigned long damage_ = 0;
  int damageEventBase_ = 0;
  bool dirty_ = true;
  bool viewable_ = true;
  bool gone_ = false;
  int width_ = 0, height_ = 0, depth_ = 0;
  Visual* visual_ = nullptr;
  std::unique_ptr<xshm::XShmImage> image_;
};

}  // namespace corvala::engine
