// X connections whose errors do not end the process. Xlib's default error
// handler exits, and what we capture can vanish at any moment (BadWindow,
// BadMatch). Errors on connections opened here are recorded for the thread
// that made the request; everybody else's go to the handler installed
// before ours.
#pragma once

#include <X11/Xlib.h>

namespace corvala::xshm {

// XOpenDisplay (nullptr or "" for $DISPLAY) with its errors recorded.
Display* openDisplay(const char* name = nullptr);
void closeDisplay(Display* display);

// Forgets this thread's recorded error; lastError() after an XSync then
// tells whether the requests in between failed (an X error code, 0 none).
void clearError();
int lastError();

}  // namespace corvala::xshm
