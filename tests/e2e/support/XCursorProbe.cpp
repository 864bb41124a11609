#include "XCursorProbe.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace corvala::e2e {

std::optional<PointerCursor> CurrentCursor(const std::string& displayName) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return std::nullopt;
    std::optional<PointerCursor> shape;
    int eventBase, errorBase;
    if (XFixesQueryExtension(display, &eventBase, &errorBase)) {
        if (XFixesCursorImage* image = XFixesGetCursorImage(display)) {
            shape.emplace();
            shape->name = image->name ? image->name : "";
            shape->width = image->width;
            shape->height = image->height;
            shape->xhot = image->xhot;
            shape->yhot = image->yhot;
            // One ARGB pixel per unsigned long.
            for (int i = 0; i < image->width * image->height; ++i)
                shape->pixels.push_back(static_cast<std::uint32_t>(image->pixels[i]));
            XFree(image);
        }
    }
    XCloseDisplay(display);
    return shape;
}

struct CursorWindow::State {
    Display* display = nullptr;
    Window window = 0;
    Cursor cursor = 0;
};

CursorWindow::CursorWindow(const std::string& displayName, unsigned long background) : state_(new State) {
    Display* display = state_->display = XOpenDisplay(displayName.c_str());
    if (!display) return;
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = background;
    attributes.override_redirect = True;
    state_->window = XCreateWindow(display, RootWindow(display, screen), 0, 0, unsigned(DisplayWidth(display, screen)),
                                   unsigned(DisplayHeight(display, screen)), 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWBackPixel | CWOverrideRedirect, &attributes);
    XMapRaised(display, state_->window);
    XSync(display, False);
}

CursorWindow::~CursorWindow() {
    if (!state_->display) return;
    if (state_->cursor) XFreeCursor(state_->display, state_->cursor);
    XDestroyWindow(state_->display, state_->window);
    XCloseDisplay(state_->display);
}

bool CursorWindow::Ok() const { return state_->display && state_->window; }

void CursorWindow::SetCursor(const std::string& name, unsigned shape) {
    Display* display = state_->display;
    const Cursor cursor = XCreateFontCursor(display, shape);
    XFixesSetCursorName(display, cursor, name.c_str());
    XDefineCursor(display, state_->window, cursor);
    if (state_->cursor) XFreeCursor(display, state_->cursor);
    state_->cursor = cursor;
    XSync(display, False);
}

}  // namespace corvala::e2e
