#include "platform/linux/XShmDesktopCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace corvala::platform::linuxos {

struct XShmDesktopCapture::Segment {
    XShmSegmentInfo info{};
};

namespace {

// An attach the server refuses is reported asynchronously through the
// process-wide error handler; it is caught around the one call.
std::mutex attachMutex;
std::atomic<bool> attachFailed{false};
int RecordAttachError(Display*, XErrorEvent*) {
    attachFailed = true;
    return 0;
}

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
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display_) shmAvailable_ = XShmQueryExtension(display_);
}

XShmDesktopCapture::~XShmDesktopCapture() {
    if (!display_) return;
    ReleaseSharedImage();
    XCloseDisplay(display_);
}

void XShmDesktopCapture::ReleaseSharedImage() {
    if (!shmImage_) return;
    XShmDetach(display_, &segment_->info);
    XSync(display_, False);
    XDestroyImage(shmImage_);
    shmdt(segment_->info.shmaddr);
    delete segment_;
    shmImage_ = nullptr;
    segment_ = nullptr;
}

bool XShmDesktopCapture::PrepareSharedImage(int width, int height) {
    if (shmImage_ && shmImage_->width == width && shmImage_->height == height) return true;
    ReleaseSharedImage();
    if (!shmAvailable_) return false;
    const int screen = DefaultScreen(display_);
    auto* segment = new Segment;
    XImage* image = XShmCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen), ZPixmap,
                                    nullptr, &segment->info, width, height);
    if (!image) {
        delete segment;
        shmAvailable_ = false;
        return false;
    }
    segment->info.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
    if (segment->info.shmid < 0) {
        XDestroyImage(image);
        delete segment;
        shmAvailable_ = false;
        return false;
    }
    segment->info.shmaddr = image->data = static_cast<char*>(shmat(segment->info.shmid, nullptr, 0));
    segment->info.readOnly = False;
    bool attached = false;
    if (segment->info.shmaddr != reinterpret_cast<char*>(-1)) {
        std::lock_guard lock(attachMutex);
        attachFailed = false;
        const auto previous = XSetErrorHandler(RecordAttachError);
        attached = XShmAttach(display_, &segment->info);
        XSync(display_, False);
        XSetErrorHandler(previous);
        attached = attached && !attachFailed;
    }
    // Marked for removal now: it disappears with the last detach, even after a crash.
    shmctl(segment->info.shmid, IPC_RMID, nullptr);
    if (!attached) {
        if (segment->info.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment->info.shmaddr);
        image->data = nullptr;
        XDestroyImage(image);
        delete segment;
        shmAvailable_ = false;
        return false;
    }
    shmImage_ = image;
    segment_ = segment;
    return true;
}

bool XShmDesktopCapture::CaptureDesktop(DesktopPicture& target, bool drawArrowCursor) {
    if (!display_) return false;
    const int screen = DefaultScreen(display_);
    const Window root = RootWindow(display_, screen);
    const int width = DisplayWidth(display_, screen);
    const int height = DisplayHeight(display_, screen);
    if (PrepareSharedImage(width, height)) {
        if (!XShmGetImage(display_, root, shmImage_, 0, 0, AllPlanes)) return false;
        CopyImage(shmImage_, target);
    } else {
        XImage* image = XGetImage(display_, root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        if (!image) return false;
        CopyImage(image, target);
        XDestroyImage(image);
    }
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
