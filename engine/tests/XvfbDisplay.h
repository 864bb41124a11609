// A private Xvfb display for one test process: started on a free display
// number, DISPLAY pointed at it, stopped (by its own pid) at the end.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <sys/types.h>

namespace engine_test {

class XvfbDisplay {
 public:
  XvfbDisplay(int width, int height, bool sharedMemory = true);
  ~XvfbDisplay();
  bool ok() const { return display_ != nullptr; }
  Display* display() const { return display_; }
  const std::string& name() const { return name_; }

  // Like `xsetroot -solid`: the whole root window in one colour (0xRRGGBB).
  void paintRoot(unsigned long rgb);
  // A mapped top-level window filled with one colour.
  Window createWindow(int x, int y, int width, int height, unsigned long rgb);
  void fillWindow(Window window, unsigned long rgb);

 private:
  pid_t pid_ = -1;
  std::string name_;
  Display* display_ = nullptr;
};

}  // namespace engine_test
