#pragma once
// A small X client for tests and benchmarks: a focused full-screen window on
// a display that writes down every input event it gets as a short line
// ("press a", "button 1 down at 100,200", "motion 635,403").

#include "E2eSupport.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <sys/select.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace corvala::testing_support {

using namespace std::chrono_literals;

// A focused full-screen window that writes down every input event it gets.
class EventRecorder {
public:
    explicit EventRecorder(const std::string& displayName) {
        display_ = XOpenDisplay(displayName.c_str());
        if (!display_) return;
        const int screen = DefaultScreen(display_);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
        window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0, DisplayWidth(display_, screen),
                                DisplayHeight(display_, screen), 0, CopyFromParent, InputOutput, CopyFromParent,
                                CWOverrideRedirect | CWEventMask, &attributes);
        XMapRaised(display_, window_);
        XSync(display_, False);
        // Mapped before it can take the focus.
        e2e::WaitFor([&] {
            XWindowAttributes a;
            XGetWindowAttributes(display_, window_, &a);
            return a.map_state == IsViewable;
        }, 10s);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    ~EventRecorder() {
        if (display_) XCloseDisplay(display_);
    }
    bool Ready() const { return display_ != nullptr; }

    // Events until `count` have arrived (or 10 seconds passed). Waits on the
    // connection itself, so an event is taken the moment it arrives.
    std::vector<std::string> Take(std::size_t count) {
        std::vector<std::string> lines;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (lines.size() < count) {
            while (lines.size() < count && XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                if (auto line = Describe(event); !line.empty()) lines.push_back(line);
            }
            if (lines.size() >= count) break;
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= 0s) break;
            const int fd = ConnectionNumber(display_);
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(fd, &readable);
            timeval timeout{0, static_cast<suseconds_t>(std::min<long long>(
                                   std::chrono::duration_cast<std::chrono::microseconds>(left).count(), 100000))};
            select(fd + 1, &readable, nullptr, nullptr, &timeout);
        }
        return lines;
    }

private:
    std::string Describe(XEvent& event) {
        char text[64];
        switch (event.type) {
        case MappingNotify:
            XRefreshKeyboardMapping(&event.xmapping);
            return {};
        case KeyPress:
        case KeyRelease: {
            KeySym keysym = NoSymbol;
            char typed[8] = {};
            XLookupString(&event.xkey, typed, sizeof typed - 1, &keysym, nullptr);
            if (keysym == NoSymbol) {
                // Xlib refreshes its keymap copy lazily after a mapping change; a
                // keycode bound a moment ago is asked from the server instead.
                int perCode = 0;
                if (KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(event.xkey.keycode), 1, &perCode)) {
                    keysym = map[0];
                    XFree(map);
                }
            }
            std::snprintf(text, sizeof text, "%s %s", event.type == KeyPress ? "press" : "release",
                          keysym == NoSymbol ? "?" : XKeysymToString(keysym) ? XKeysymToString(keysym) : "unnamed");
            return text;
        }
        case ButtonPress:
        case ButtonRelease:
            std::snprintf(text, sizeof text, "button %u %s at %d,%d", event.xbutton.button,
                          event.type == ButtonPress ? "down" : "up", event.xbutton.x, event.xbutton.y);
            return text;
        case MotionNotify:
            std::snprintf(text, sizeof text, "motion %d,%d", event.xmotion.x, event.xmotion.y);
            return text;
        default:
            return {};
        }
    }

    Display* display_ = nullptr;
    Window window_ = 0;
};

}  // namespace corvala::testing_support
