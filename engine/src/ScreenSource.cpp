#include "ScreenSource.h"

#include "Log.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>
#include <mutex>
#include <set>

namespace corvala::engine {

namespace {

// Xlib's default error handler ends the process, and a captured window can
// vanish at any moment (BadWindow, BadMatch). Errors on our own
// connections are recorded; everybody else's go to the previous handler.
std::mutex errorMutex;
std::set<Display*>* ourDisplays = nullptr;
int (*previousHandler)(Display*, XErrorEvent*) = nullptr;
thread_local int lastError = 0;

int onXError(Display* display, XErrorEvent* event) {
  {
    std::lock_guard lock(errorMutex);
    if (ourDisplays && ourDisplays->count(display)) {
      lastError = event->error_code;
      return 0;
    }
  }
  return previousHandler ? previousHandler(display, event) : 0;
}

void onXIOExit(Display*, void*) {
  // The server went away; the capture thread notices through its own checks.
}

Display* openDisplay() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  std::lock_guard lock(errorMutex);
  if (!ourDisplays) {
    ourDisplays = new std::set<Display*>;
    previousHandler = XSetErrorHandler(onXError);
  }
  ourDisplays->insert(display);
  XSetIOErrorExitHandler(display, onXIOExit, nullptr);
  return display;
}

void closeDisplay(Display* display) {
  if (!display) return;
  XCloseDisplay(display);
  std::lock_guard lock(errorMutex);
  ourDisplays->erase(display);
}

}  // namespace

std::shared_ptr<ScreenSource> ScreenSource::create(int maxWidth, int maxHeight, int fps, unsigned long window) {
  Display* display = openDisplay();
  if (!display) {
    logMessage(LogLevel::Warning, "screen source: no X display");
    return nullptr;
  }
  lastError = 0;
  XWindowAttributes attributes;
  const Window target = window ? Window(window) : DefaultRootWindow(display);
  const bool exists = XGetWindowAttributes(display, target, &attributes) != 0;
  XSync(display, False);
  if (!exists || lastError) {
    logMessage(LogLevel::Warning, "screen source: window 0x%lx not found", window);
    closeDisplay(display);
    return nullptr;
  }
  std::shared_ptr<ScreenSource> source(new ScreenSource(maxWidth, maxHeight, fps));
  source->display_ = display;
  source->window_ = target;
  source->isRoot_ = window == 0;
  return source;
}

ScreenSource::~ScreenSource() {
  shutdown();
  closeDisplay(display_);
}

// From here on the display is used by the capture thread only.
bool ScreenSource::begin() {
  lastError = 0;
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
  gone_ = lastError == BadWindow;
  return true;
}

void ScreenSource::end() {
  releaseImage();
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

void ScreenSource::releaseImage() {
  if (!image_) return;
  if (useShm_) {
    XShmDetach(display_, &shm_);
    XSync(display_, False);
  }
  XDestroyImage(image_);
  if (useShm_) shmdt(shm_.shmaddr);
  image_ = nullptr;
  useShm_ = false;
}

bool ScreenSource::prepareImage() {
  XWindowAttributes attributes;
  lastError = 0;
  if (!XGetWindowAttributes(display_, window_, &attributes) || lastError) {
    gone_ = true;
    return false;
  }
  // The window's own state, asked each time: it also turns unviewable and
  // back when an ancestor is unmapped and mapped again, which sends this
  // window no Unmap/MapNotify.
  viewable_ = isRoot_ || attributes.map_state == IsViewable;
  if (!viewable_) return false;
  if (image_ && attributes.width == width_ && attributes.height == height_) return true;
  releaseImage();
  width_ = attributes.width;
  height_ = attributes.height;
  if (width_ <= 0 || height_ <= 0) return false;
  if (XShmQueryExtension(display_)) {
    image_ = XShmCreateImage(display_, attributes.visual, unsigned(attributes.depth), ZPixmap, nullptr, &shm_,
                             unsigned(width_), unsigned(height_));
    if (image_) {
      shm_.shmid = shmget(IPC_PRIVATE, size_t(image_->bytes_per_line) * image_->height, IPC_CREAT | 0600);
      shm_.shmaddr = image_->data = shm_.shmid >= 0 ? static_cast<char*>(shmat(shm_.shmid, nullptr, 0)) : nullptr;
      shm_.readOnly = False;
      lastError = 0;
      const bool attached = shm_.shmaddr && shm_.shmaddr != reinterpret_cast<char*>(-1) &&
                            XShmAttach(display_, &shm_);
      XSync(display_, False);
      if (shm_.shmid >= 0) shmctl(shm_.shmid, IPC_RMID, nullptr);
      if (attached && !lastError) {
        useShm_ = true;
        return true;
      }
      if (shm_.shmaddr && shm_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm_.shmaddr);
      image_->data = nullptr;
      XDestroyImage(image_);
      image_ = nullptr;
    }
  }
  useShm_ = false;  // e.g. a remote X server: plain XGetImage each time
  return true;
}

GstBuffer* ScreenSource::grab(int& width, int& height) {
  if (gone_) return nullptr;
  processEvents();
  if (gone_ || (!dirty_ && image_)) return nullptr;
  if (!prepareImage()) return nullptr;
  if (!viewable_) return nullptr;
  dirty_ = damage_ == 0;  // without DAMAGE every period captures
  lastError = 0;
  XImage* picture = image_;
  if (useShm_) {
    if (!XShmGetImage(display_, window_, image_, 0, 0, AllPlanes)) picture = nullptr;
  } else {
    picture = XGetImage(display_, window_, 0, 0, unsigned(width_), unsigned(height_), AllPlanes, ZPixmap);
  }
  XSync(display_, False);
  if (!picture || lastError) {
    if (picture && picture != image_) XDestroyImage(picture);
    dirty_ = true;  // try again next period (e.g. the window is being unmapped)
    return nullptr;
  }
  GstBuffer* buffer = nullptr;
  if (picture->bits_per_pixel == 32 && (buffer = newFrame(gsize(width_) * height_ * 4))) {
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    for (int row = 0; row < height_; ++row)
      std::memcpy(map.data + size_t(row) * width_ * 4, picture->data + size_t(row) * picture->bytes_per_line,
                  size_t(width_) * 4);
    gst_buffer_unmap(buffer, &map);
    width = width_;
    height = height_;
  } else if (picture->bits_per_pixel != 32) {
    logMessage(LogLevel::Warning, "screen source: %d bits per pixel not supported", picture->bits_per_pixel);
  }
  if (picture != image_) XDestroyImage(picture);
  return buffer;
}

}  // namespace corvala::engine
