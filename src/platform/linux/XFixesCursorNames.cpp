#include "platform/linux/XFixesCursorNames.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace corvala::platform::linuxos {

XFixesCursorNames::XFixesCursorNames(const std::string& displayName) {
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display_) return;
    int eventBase, errorBase, major = 4, minor = 0;
    // Cursor names need XFixes 2.
    if (!XFixesQueryExtension(display_, &eventBase, &errorBase) || !XFixesQueryVersion(display_, &major, &minor) ||
        major < 2) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

XFixesCursorNames::~XFixesCursorNames() {
    if (display_) XCloseDisplay(display_);
}

std::optional<std::string> XFixesCursorNames::CurrentCursorName() {
    if (!display_) return std::nullopt;
    XFixesCursorImage* image = XFixesGetCursorImage(display_);
    if (!image) return std::nullopt;
    std::string name = image->name ? image->name : "";
    XFree(image);
    return name;
}

}  // namespace corvala::platform::linuxos
