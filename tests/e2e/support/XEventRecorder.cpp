#include "XEventRecorder.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace corvala::e2e {

struct XEventRecorder::State {
    Display* display = nullptr;
    Window window = 0;
    std::thread reader;
    std::atomic<bool> stop{false};
    mutable std::mutex mutex;
    std::vector<Click> clicks;
    std::vector<Key> keys;

    void Read() {
        while (!stop) {
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
                const auto now = std::chrono::steady_clock::now();
                std::lock_guard lock(mutex);
                if (event.type == ButtonPress) {
                    clicks.push_back({event.xbutton.x_root, event.xbutton.y_root, event.xbutton.button});
                } else if (event.type == KeyPress) {
                    char text[8] = {};
                    KeySym keysym;
                    const int n = XLookupString(&event.xkey, text, sizeof text - 1, &keysym, nullptr);
                    keys.push_back({std::string(text, n > 0 ? std::size_t(n) : 0), now});
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

XEventRecorder::XEventRecorder(const std::string& displayName, unsigned long background)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.display = XOpenDisplay(displayName.c_str());
    if (!s.display) return;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = background;
    attributes.event_mask = KeyPressMask | ButtonPressMask;
    const int screen = DefaultScreen(s.display);
    s.window = XCreateWindow(s.display, RootWindow(s.display, screen), 0, 0,
                             unsigned(DisplayWidth(s.display, screen)), unsigned(DisplayHeight(s.display, screen)), 0,
                             CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask,
                             &attributes);
    XMapRaised(s.display, s.window);
    XSync(s.display, False);
    s.reader = std::thread([&s] { s.Read(); });
}

XEventRecorder::~XEventRecorder() {
    state_->stop = true;
    if (state_->reader.joinable()) state_->reader.join();
    if (state_->display) XCloseDisplay(state_->display);
}

bool XEventRecorder::Ok() const { return state_->display != nullptr; }

std::vector<XEventRecorder::Click> XEventRecorder::Clicks() const {
    std::lock_guard lock(state_->mutex);
    return state_->clicks;
}

std::vector<XEventRecorder::Key> XEventRecorder::Keys() const {
    std::lock_guard lock(state_->mutex);
    return state_->keys;
}

std::string XEventRecorder::Typed() const {
    std::string typed;
    for (const auto& key : Keys()) typed += key.text;
    return typed;
}

}  // namespace corvala::e2e
