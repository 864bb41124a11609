#include "platform/linux/XTestSecureAttention.h"

// Qt before Xlib: Xlib's macros (Status, Bool) break Qt's headers.
#include "base/Log.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace corvala::platform::linuxos {

bool XTestSecureAttention::Press() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        qCWarning(lcPlatform) << "Ctrl+Alt+Delete not pressed: no X display";
        return false;
    }
    int eventBase, errorBase, major, minor;
    bool ok = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
    if (!ok) qCWarning(lcPlatform) << "Ctrl+Alt+Delete not pressed: the X server has no XTest";
    const KeySym keys[] = {XK_Control_L, XK_Alt_L, XK_Delete};
    KeyCode codes[3] = {};
    for (int i = 0; ok && i < 3; ++i) {
        codes[i] = XKeysymToKeycode(display, keys[i]);
        // A key the keyboard map lacks has code 0, which the server answers
        // with an error that would end the program.
        if (codes[i] == 0) {
            qCWarning(lcPlatform) << "Ctrl+Alt+Delete not pressed: the keyboard map lacks" << XKeysymToString(keys[i]);
            ok = false;
        }
    }
    if (ok) {
        for (KeyCode code : codes) XTestFakeKeyEvent(display, code, True, CurrentTime);
        for (int i = 2; i >= 0; --i) XTestFakeKeyEvent(display, codes[i], False, CurrentTime);
        XSync(display, False);
    }
    XCloseDisplay(display);
    return ok;
}

}  // namespace corvala::platform::linuxos
