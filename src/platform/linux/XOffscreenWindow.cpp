#include "platform/linux/XOffscreenWindow.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xcomposite.h>

#include <atomic>
#include <mutex>

namespace corvala::platform::linuxos {

namespace {
// A refused redirection is reported asynchronously through the process-wide
// error handler; it is caught around the one request.
std::mutex redirectMutex;
std::atomic<bool> redirectFailed{false};
int RecordRedirectError(Display*, XErrorEvent*) {
    redirectFailed = true;
    return 0;
}
}  // namespace

XOffscreenWindow::XOffscreenWindow(const std::string& displayName) {
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display_) return;
    int eventBase = 0, errorBase = 0, major = 0, minor = 2;
    // Manual redirection of a single window needs Composite 0.2.
    composite_ = XCompositeQueryExtension(display_, &eventBase, &errorBase) &&
                 XCompositeQueryVersion(display_, &major, &minor) && (major > 0 || minor >= 2);
}

XOffscreenWindow::~XOffscreenWindow() {
    if (!display_) return;
    Release();
    XCloseDisplay(display_);
}

bool XOffscreenWindow::Redirect(unsigned long window) {
    if (!display_ || !composite_ || !window) return false;
    if (window_ == window) return true;
    Release();
    std::lock_guard lock(redirectMutex);
    redirectFailed = false;
    const auto previous = XSetErrorHandler(RecordRedirectError);
    XCompositeRedirectWindow(display_, window, CompositeRedirectManual);
    XSync(display_, False);
    XSetErrorHandler(previous);
    if (redirectFailed) return false;
    window_ = window;
    return true;
}

void XOffscreenWindow::Release() {
    if (!window_) return;
    std::lock_guard lock(redirectMutex);
    const auto previous = XSetErrorHandler(RecordRedirectError);
    // The window may be gone already; that error is of no interest.
    XCompositeUnredirectWindow(display_, window_, CompositeRedirectManual);
    XSync(display_, False);
    XSetErrorHandler(previous);
    window_ = 0;
}

}  // namespace corvala::platform::linuxos
