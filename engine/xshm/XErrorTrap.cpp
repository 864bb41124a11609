#include "xshm/XErrorTrap.h"

#include <mutex>
#include <set>

namespace corvala::xshm {

namespace {

std::mutex mutex;
std::set<Display*>* ours = nullptr;  // never freed: Xlib may call in at exit
XErrorHandler previous = nullptr;
thread_local int recorded = 0;

int onError(Display* display, XErrorEvent* event) {
  {
    std::lock_guard lock(mutex);
    if (ours && ours->count(display)) {
      recorded = event->error_code;
      return 0;
    }
  }
  return previous ? previous(display, event) : 0;
}

void onConnectionLost(Display*, void*) {
  // The server went away: requests fail from now on, which the users of the
  // connection notice; the process goes on.
}

}  // namespace

Display* openDisplay(const char* name) {
  Display* display = XOpenDisplay(name && *name ? name : nullptr);
  if (!display) return nullptr;
  std::lock_guard lock(mutex);
  if (!ours) {
    ours = new std::set<Display*>;
    previous = XSetErrorHandler(onError);
  }
  ours->insert(display);
  XSetIOErrorExitHandler(display, onConnectionLost, nullptr);
  return display;
}

void closeDisplay(Display* display) {
  if (!display) return;
  XCloseDisplay(display);
  std::lock_guard lock(mutex);
  ours->erase(display);
}

void clearError() { recorded = 0; }
int lastError() { return recorded; }

}  // namespace corvala::xshm
