#include "platform/linux/XShmDesktopCapture.h"

#include "xshm/XErrorTrap.h"
#include "xshm/XShmImage.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <iterator>

namespace corvala::platform::linuxos {

namespace {

// The standard arrow, 12 x 19: 'X' outline, '.' fill.
constexpr const char* Arrow[] = {
    "X           ", "XX          ", "X.X         ", "X..X        ", "X...X       ", "X....X      ",
    "X.....X     ", "X......X    ", "X.......X   ", "X........X  ", "X.........X ", "X..........X",
    "X......XXXXX", "X...X..X    ", "X..XX..X    ", "X.X  X..X   ", "XX   X..X   ", "X     X..X  ",
    "      XXXX  ",
};

std::uint32_t PixelOf(const XImage* image, int x, int y) {
    if (image->bits_per_pixel == 32) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image->data + static_cast<long>(y) * image->bytes_per_line);
        return row[x] & 0x00FFFFFFu;
    }
    const unsigned long p = XGetPixel(const_cast<XImage*>(image), x, y);
    const auto channel = [p](unsigned long mask) -> std::uint32_t {
        if (!mask) return 0;
        int shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        const unsigned long max = mask >> shift;
        return static_cast<std::uint32_t>(((p & mask) >> shift) * 255 / max);
    };
    return channel(image->red_mask) << 16 | channel(image->green_mask) << 8 | channel(image->blue_mask);
}

void CopyImage(const XImage* image, platform::DesktopPicture& target) {
    target.width = image->width;
    target.height = image->height;
    target.pixels.resize(static_cast<std::size_t>(image->width) * image->height);
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) target.pixels[static_cast<std::size_t>(y) * image->width + x] = PixelOf(image, x, y);
}

}  // namespace

XShmDesktopCapture::XShmDesktopCapture(const std::string& displayName) {
    display_ = xshm::openDisplay(displayName.c_str());
    if (display_) image_ = std::make_unique<xshm::XShmImage>(display_);
}

XShmDesktopCapture::~XShmDesktopCapture() {
    image_.reset();
    xshm::closeDisplay(display_);
}

bool XShmDesktopCapture::UsesSharedMemory() const { return image_ && image_->usesSharedMemory(); }

bool XShmDesktopCapture::CaptureDesktop(DesktopPicture& target, bool drawArrowCursor) {
    if (!display_) return false;
    const int screen = DefaultScreen(display_);
    const XImage* image = image_->capture(RootWindow(display_, screen), DefaultVisual(display_, screen),
                                          DefaultDepth(display_, screen), DisplayWidth(display_, screen),
                                          DisplayHeight(display_, screen));
    if (!image) return false;
    CopyImage(image, target);
    if (drawArrowCursor) DrawArrow(target);
    return true;
}

void XShmDesktopCapture::DrawArrow(DesktopPicture& target) {
    Window rootReturn, child;
    int x, y, wx, wy;
    unsigned mask;
    if (!XQueryPointer(display_, DefaultRootWindow(display_), &rootReturn, &child, &x, &y, &wx, &wy, &mask)) return;
    // Drawn from the pointer position, as a 32 x 32 cursor without hotspot offset.
    for (int row = 0; row < static_cast<int>(std::size(Arrow)); ++row)
        for (int col = 0; Arrow[row][col]; ++col) {
            const int px = x + col, py = y + row;
            if (Arrow[row][col] == ' ' || px < 0 || py < 0 || px >= target.width || py >= target.height) continue;
            target.pixels[static_cast<std::size_t>(py) * target.width + px] = Arrow[row][col] == 'X' ? 0x000000u : 0xFFFFFFu;
        }
}

}  // namespace corvala::platform::linuxos
