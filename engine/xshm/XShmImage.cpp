#include "xshm/XShmImage.h"

#include "xshm/XErrorTrap.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace corvala::xshm {

namespace {
char* const kNotAttached = reinterpret_cast<char*>(-1);
}

void XShmImage::release() {
  releaseShared();
  if (plain_) XDestroyImage(plain_);
  plain_ = nullptr;
}

void XShmImage::releaseShared() {
  if (!shared_) return;
  XShmDetach(display_, &segment_);
  XSync(display_, False);
  XDestroyImage(shared_);
  shmdt(segment_.shmaddr);
  shared_ = nullptr;
  segment_ = {};
}

bool XShmImage::prepareShared(Visual* visual, int depth, int width, int height) {
  if (shared_ && shared_->width == width && shared_->height == height && shared_->depth == depth) return true;
  releaseShared();
  if (!sharedPossible_) return false;
  sharedPossible_ = XShmQueryExtension(display_);
  if (!sharedPossible_) return false;
  XImage* image = XShmCreateImage(display_, visual, unsigned(depth), ZPixmap, nullptr, &segment_, unsigned(width),
                                  unsigned(height));
  if (!image) return false;
  segment_.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * unsigned(image->height), IPC_CREAT | 0600);
  segment_.shmaddr = image->data = segment_.shmid >= 0 ? static_cast<char*>(shmat(segment_.shmid, nullptr, 0))
                                                       : kNotAttached;
  segment_.readOnly = False;
  clearError();
  const bool attached = segment_.shmaddr != kNotAttached && XShmAttach(display_, &segment_);
  XSync(display_, False);
  // Marked for removal at once: the segment goes with its last detach, even
  // when this process dies.
  if (segment_.shmid >= 0) shmctl(segment_.shmid, IPC_RMID, nullptr);
  if (attached && !lastError()) {
    shared_ = image;
    return true;
  }
  // The server cannot reach our memory: plain copies from now on.
  if (segment_.shmaddr != kNotAttached) shmdt(segment_.shmaddr);
  image->data = nullptr;
  XDestroyImage(image);
  segment_ = {};
  sharedPossible_ = false;
  return false;
}

const XImage* XShmImage::capture(Drawable drawable, Visual* visual, int depth, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  if (plain_) XDestroyImage(plain_);
  plain_ = nullptr;
  clearError();
  if (prepareShared(visual, depth, width, height)) {
    const bool copied = XShmGetImage(display_, drawable, shared_, 0, 0, AllPlanes);
    XSync(display_, False);
    return copied && !lastError() ? shared_ : nullptr;
  }
  plain_ = XGetImage(display_, drawable, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
  XSync(display_, False);
  if (plain_ && lastError()) {
    XDestroyImage(plain_);
    plain_ = nullptr;
  }
  return plain_;
}

}  // namespace corvala::xshm
