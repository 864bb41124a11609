#include "platform/linux/XTestSecureAttention.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace corvala::platform::linuxos {

bool XTestSecureAttention::Press() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int eventBase, errorBase, major, minor;
    bool ok = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
    if (ok) {
        const KeySym keys[] = {XK_Control_L, XK_Alt_L, XK_Delete};
        for (KeySym key : keys) XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), True, CurrentTime);
        for (int i = 2; i >= 0; --i) XTestFakeKeyEvent(display, XKeysymToKeycode(display, keys[i]), False, CurrentTime);
        XSync(display, False);
    }
    XCloseDisplay(display);
    return ok;
}

}  // namespace corvala::platform::linuxos
