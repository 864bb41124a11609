#include "ScreenSource.h"

#include "Log.h"
#include "xshm/XErrorTrap.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <cstring>

namespace corvala::engine {

std::shared_ptr<ScreenSource> ScreenSource::create(int maxWidth, int maxHeight, int fps, unsigned long window) {
  Display* display = xshm::openDisplay();
  if (!display) {
    logMessage(LogLevel::Warning, "screen source: no X display");
    return nullptr;
  }
  xshm::clearError();
  XWindowAttributes attributes;
  const Window target = window ? Window(window) : DefaultRootWindow(display);
  const bool exists = XGetWindowAttributes(display, target, &attributes) != 0;
  XSync(display, False);
  if (!exists || xshm::lastError()) {
    logMessage(LogLevel::Warning, "screen source: window 0x%lx not found", window);
    xshm::closeDisplay(display);
    return nullptr;
  }
  std::shared_ptr<ScreenSource> source(new ScreenSource(maxWidth, maxHeight, fps));
  source->display_ = display;
  source->window_ = target;
  source->isRoot_ = window == 0;
  source->image_ = std::make_unique<xshm::XShmImage>(display);
  return source;
}

ScreenSource::~ScreenSource() {
  shutdown();
  image_.reset();
  xshm::closeDisplay(display_);
}

// From here on the display is used by the capture thread only.
bool ScreenSource::begin() {
  xshm::clearError();
  int errorBase = 0;
  if (XDamageQueryExtension(display_, &damageEventBase_, &errorBase)) {
    damage_ = XDamageCreate(display_, window_, XDamageReportNonEmpty);
  } else {
    logMessage(LogLevel::Info, "screen source: no DAMAGE extension, capturing every period");
  }
  if (!isRoot_) XSelectInput(display_, window_, StructureNotifyMask);
  XSync(display_, False);
  dirty_ = true;
  viewable_ = true;
  gone_ = xshm::lastError() == BadWindow;
  return true;
}

void ScreenSource::end() {
  image_->release();
  if (damage_ && !gone_) XDamageDestroy(display_, damage_);
  damage_ = 0;
  if (!isRoot_ && !gone_) XSelectInput(display_, window_, NoEventMask);
  XSync(display_, True);
}

void ScreenSource::processEvents() {
  while (XPending(display_)) {
    XEvent event;
    XNextEvent(display_, &event);
    if (damage_ && event.type == damageEventBase_ + XDamageNotify) {
      dirty_ = true;
    } else if (event.type == UnmapNotify) {
      viewable_ = false;
    } else if (event.type == MapNotify) {
      viewable_ = true;
      dirty_ = true;
    } else if (event.type == DestroyNotify) {
      gone_ = true;
      damage_ = 0;  // destroyed with the window
    } else if (event.type == ConfigureNotify) {
      dirty_ = true;
    }
  }
  if (damage_ && dirty_) XDamageSubtract(display_, damage_, None, None);
}

bool ScreenSource::waitForChange(CaptureSchedule::TimePoint deadline) {
  for (;;) {
    processEvents();
    // Without DAMAGE, or while the last look could not capture, every
    // period looks again.
    if (dirty_ || gone_ || !damage_) return true;
    XFlush(display_);  // the subtraction above, before we sleep
    if (XEventsQueued(display_, QueuedAlready) > 0) continue;
    if (!waitReadable(ConnectionNumber(display_), deadline)) return false;
  }
}

bool ScreenSource::readAttributes() {
  XWindowAttributes attributes;
  xshm::clearError();
  if (!XGetWindowAttributes(display_, window_, &attributes) || xshm::lastError()) {
    gone_ = true;
    return false;
  }
  // The window's own state, asked each time: it also turns unviewable and
  // back when an ancestor is unmapped and mapped again, which sends this
  // window no Unmap/MapNotify.
  viewable_ = isRoot_ || attributes.map_state == IsViewable;
  if (attributes.width != width_ || attributes.height != height_) dirty_ = true;
  width_ = attributes.width;
  height_ = attributes.height;
  depth_ = attributes.depth;
  visual_ = attributes.visual;
  return viewable_ && width_ > 0 && height_ > 0;
}

GstBuffer* ScreenSource::grab(int& width, int& height) {
  if (gone_) return nullptr;
  processEvents();
  if (gone_ || !dirty_) return nullptr;
  if (!readAttributes()) return nullptr;
  dirty_ = damage_ == 0;  // without DAMAGE every period captures
  const XImage* picture = image_->capture(window_, visual_, depth_, width_, height_);
  if (!picture) {
    dirty_ = true;  // try again next period (e.g. the window is being unmapped)
    return nullptr;
  }
  if (picture->bits_per_pixel != 32) {
    logMessage(LogLevel::Warning, "screen source: %d bits per pixel not supported", picture->bits_per_pixel);
    return nullptr;
  }
  GstBuffer* buffer = newFrame(gsize(width_) * height_ * 4);
  if (!buffer) return nullptr;
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  for (int row = 0; row < height_; ++row)
    std::memcpy(map.data + size_t(row) * width_ * 4, picture->data + size_t(row) * picture->bytes_per_line,
                size_t(width_) * 4);
  gst_buffer_unmap(buffer, &map);
  width = width_;
  height = height_;
  return buffer;
}

}  // namespace corvala::engine
