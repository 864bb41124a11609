#pragma once
#include <string>

typedef struct _XDisplay Display;

namespace corvala::platform::linuxos {

// Keeps one window of the display off the screen while it stays mapped,
// through the Composite extension's manual redirection: the window is drawn
// into a picture of its own that nobody puts on the screen. Whoever reads
// the window (GetImage, DAMAGE) still sees its content; a copy of the screen
// does not see the window at all. This is X11's counterpart of a window on a
// desktop that is not the one on display.
//
// The redirection lasts as long as this object's connection. It is refused
// when another client (a compositing window manager) already redirects the
// window's parent; the compositor then keeps the window's content itself.
class XOffscreenWindow {
public:
    // `displayName` empty: $DISPLAY.
    explicit XOffscreenWindow(const std::string& displayName = {});
    ~XOffscreenWindow();
    XOffscreenWindow(const XOffscreenWindow&) = delete;
    XOffscreenWindow& operator=(const XOffscreenWindow&) = delete;

    // Takes `window` off the screen (before or after it is mapped); false
    // when the display or the extension refuses.
    bool Redirect(unsigned long window);
    // Puts the window back on the screen.
    void Release();

private:
    Display* display_ = nullptr;
    bool composite_ = false;
    unsigned long window_ = 0;
};

}  // namespace corvala::platform::linuxos
