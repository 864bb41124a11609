#pragma once
// What the whole-program benches do to an Xvfb display: paint the host's
// background, read one pixel of the viewer's. Include after every header
// that Xlib's macros would clash with.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

namespace corvala::e2e {

// One connection per display for the whole run: the probe must not pay for
// connecting on every read.
class Pixel {
public:
    explicit Pixel(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}
    ~Pixel() {
        if (display_) XCloseDisplay(display_);
    }
    Pixel(const Pixel&) = delete;
    Pixel& operator=(const Pixel&) = delete;
    bool Ok() const { return display_ != nullptr; }
    unsigned long At(int x, int y) {
        XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return 0;
        const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
        XDestroyImage(image);
        return pixel;
    }
    // The whole background in one colour, at once.
    void Fill(unsigned long colour) {
        XSetWindowBackground(display_, DefaultRootWindow(display_), colour);
        XClearWindow(display_, DefaultRootWindow(display_));
        XSync(display_, False);
    }
    // Only a rectangle of the background, from the top left corner.
    void FillCorner(unsigned long colour, unsigned width, unsigned height) {
        const Window root = DefaultRootWindow(display_);
        GC gc = XCreateGC(display_, root, 0, nullptr);
        XSetForeground(display_, gc, colour);
        XFillRectangle(display_, root, gc, 0, 0, width, height);
        XFreeGC(display_, gc);
        XSync(display_, False);
    }

private:
    Display* display_;
};

}  // namespace corvala::e2e
