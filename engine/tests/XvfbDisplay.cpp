#include "XvfbDisplay.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace engine_test {

namespace {
bool displayInUse(int n) {
  struct stat info;
  return stat(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), &info) == 0 ||
         stat(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), &info) == 0;
}
}  // namespace

XvfbDisplay::XvfbDisplay(int width, int height, bool sharedMemory) {
  int number = 200 + int(getpid() % 500);
  while (displayInUse(number)) ++number;
  name_ = ":" + std::to_string(number);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::vector<const char*> args = {"Xvfb", name_.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                                   "-noreset"};
  // Without MIT-SHM the server is like a remote one: no shared memory.
  if (!sharedMemory) args.insert(args.end(), {"-extension", "MIT-SHM"});
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    execvp("Xvfb", const_cast<char* const*>(args.data()));
    _exit(127);
  }
  setenv("DISPLAY", name_.c_str(), 1);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!display_ && std::chrono::steady_clock::now() < end) {
    display_ = XOpenDisplay(name_.c_str());
    if (!display_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

XvfbDisplay::~XvfbDisplay() {
  if (display_) XCloseDisplay(display_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

void XvfbDisplay::paintRoot(unsigned long rgb) {
  const Window root = DefaultRootWindow(display_);
  XSetWindowBackground(display_, root, rgb);
  XClearWindow(display_, root);
  XSync(display_, False);
}

Window XvfbDisplay::createWindow(int x, int y, int width, int height, unsigned long rgb) {
  const Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), x, y, unsigned(width),
                                            unsigned(height), 0, 0, rgb);
  XMapWindow(display_, window);
  XSync(display_, False);
  return window;
}

void XvfbDisplay::fillWindow(Window window, unsigned long rgb) {
  XSetWindowBackground(display_, window, rgb);
  XClearWindow(display_, window);
  XSync(display_, False);
}

}  // namespace engine_test
