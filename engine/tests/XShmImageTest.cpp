// The XShm capture that the engine's screen source and the program's host
// capture share (engine/xshm), on a private Xvfb display: shared memory
// where the server can reach ours, plain image requests where it cannot,
// and X errors of a vanished window recorded instead of ending the process.
// GoogleTest before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include "XvfbDisplay.h"
#include "xshm/XErrorTrap.h"
#include "xshm/XShmImage.h"

#include <cstdint>

using namespace engine_test;
namespace xshm = corvala::xshm;

namespace {

uint32_t pixelAt(const XImage* image, int x, int y) {
  return reinterpret_cast<const uint32_t*>(image->data + size_t(y) * image->bytes_per_line)[x] & 0xFFFFFF;
}

// A connection of the capture's own to a fresh server.
struct FreshServer {
  explicit FreshServer(bool sharedMemory) : x(320, 200, sharedMemory), display(xshm::openDisplay(x.name().c_str())) {}
  ~FreshServer() { xshm::closeDisplay(display); }
  const XImage* captureRoot(xshm::XShmImage& image) {
    const int screen = DefaultScreen(display);
    return image.capture(RootWindow(display, screen), DefaultVisual(display, screen), DefaultDepth(display, screen),
                         DisplayWidth(display, screen), DisplayHeight(display, screen));
  }
  XvfbDisplay x;
  Display* display;
};

}  // namespace

// The same pictures either way: through a shared segment, and by plain
// requests from a server without the shared-memory extension (like a
// remote display).
TEST(XShmImage, CopiesThroughSharedMemoryOrPlainRequests) {
  for (bool sharedMemory : {true, false}) {
    SCOPED_TRACE(sharedMemory ? "shared memory" : "plain requests");
    FreshServer screen(sharedMemory);
    ASSERT_NE(screen.display, nullptr);
    xshm::XShmImage image(screen.display);
    for (unsigned long colour : {0x2080C0ul, 0xC04010ul}) {
      screen.x.paintRoot(colour);
      const XImage* picture = screen.captureRoot(image);
      ASSERT_NE(picture, nullptr);
      EXPECT_EQ(picture->width, 320);
      EXPECT_EQ(picture->height, 200);
      EXPECT_EQ(pixelAt(picture, 0, 0), colour);
      EXPECT_EQ(pixelAt(picture, 319, 199), colour);
    }
    EXPECT_EQ(image.usesSharedMemory(), sharedMemory);
  }
}

// A window that is gone by the time it is copied: no picture, the error is
// on record for this thread, and the connection goes on working.
TEST(XShmImage, VanishedWindowYieldsNoPictureAndTheProcessGoesOn) {
  FreshServer screen(true);
  ASSERT_NE(screen.display, nullptr);
  xshm::XShmImage image(screen.display);
  const Window window = screen.x.createWindow(10, 10, 64, 48, 0x00FF00);
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(screen.display, window, &attributes));
  ASSERT_NE(image.capture(window, attributes.visual, attributes.depth, 64, 48), nullptr);
  XDestroyWindow(screen.x.display(), window);
  XSync(screen.x.display(), False);
  EXPECT_EQ(image.capture(window, attributes.visual, attributes.depth, 64, 48), nullptr);
  EXPECT_NE(xshm::lastError(), 0);
  screen.x.paintRoot(0x102030);
  const XImage* root = screen.captureRoot(image);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(pixelAt(root, 5, 5), 0x102030u);
}
