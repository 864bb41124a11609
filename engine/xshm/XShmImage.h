// Copies of an X drawable (a window or the root window) through the MIT
// shared-memory extension: one XShmGetImage into a segment kept while the
// size stays the same. Where shared memory cannot be had (a remote display,
// a separate IPC namespace) each copy is a plain XGetImage instead.
// One thread at a time, on a connection from openDisplay().
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

namespace corvala::xshm {

class XShmImage {
 public:
  explicit XShmImage(Display* display) : display_(display) {}
  ~XShmImage() { release(); }
  XShmImage(const XShmImage&) = delete;
  XShmImage& operator=(const XShmImage&) = delete;

  // Copies width x height pixels from the drawable's top left corner (visual
  // and depth: the drawable's). The picture is valid until the next capture
  // or release(); nullptr when the drawable could not be read (gone,
  // unmapped, resized meanwhile).
  const XImage* capture(Drawable drawable, Visual* visual, int depth, int width, int height);
  bool usesSharedMemory() const { return shared_ != nullptr; }
  void release();

 private:
  bool prepareShared(Visual* visual, int depth, int width, int height);
  void releaseShared();

  Display* const display_;
  bool sharedPossible_ = true;
  XImage* shared_ = nullptr;
  XShmSegmentInfo segment_{};
  XImage* plain_ = nullptr;
};

}  // namespace corvala::xshm
