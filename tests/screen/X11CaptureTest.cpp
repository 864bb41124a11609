// The host's X11 picture and cursor sources on an Xvfb display the test
// starts: a colour pattern painted by windows comes back from the desktop
// copy, the arrow is drawn at the pointer in relative mouse mode, and the
// cursor names under the pointer give the shape codes. A window kept off the
// screen keeps its content for readers of the window but is missing from the
// desktop copy.
#include "platform/linux/XFixesCursorNames.h"
#include "platform/linux/XOffscreenWindow.h"
#include "platform/linux/XShmDesktopCapture.h"
#include "screen/CursorShapes.h"

#include "E2eSupport.h"

// Before Xlib, whose macros (None, Status) clash with GoogleTest's names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>

namespace corvala {
namespace {

using namespace std::chrono_literals;

constexpr int Width = 640, Height = 480;

class X11Screen : public testing::Test {
protected:
    static void SetUpTestSuite() { xvfb_ = new e2e::XvfbDisplay(Width, Height); }
    static void TearDownTestSuite() {
        delete xvfb_;
        xvfb_ = nullptr;
    }
    void SetUp() override {
        display = XOpenDisplay(xvfb_->name().c_str());
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override { XCloseDisplay(display); }

    // A mapped window filled with one colour.
    Window Fill(int x, int y, int w, int h, unsigned long colour) {
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = colour;
        const Window window = XCreateWindow(display, DefaultRootWindow(display), x, y, w, h, 0, CopyFromParent,
                                            InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
        XMapRaised(display, window);
        XSync(display, False);
        return window;
    }

    static e2e::XvfbDisplay* xvfb_;
    Display* display = nullptr;
};

e2e::XvfbDisplay* X11Screen::xvfb_ = nullptr;

TEST_F(X11Screen, CaptureReturnsTheColourPattern) {
    // Four quadrants; TrueColor 24-bit: the pixel value is 0xRRGGBB.
    Fill(0, 0, Width / 2, Height / 2, 0xFF0000);
    Fill(Width / 2, 0, Width / 2, Height / 2, 0x00FF00);
    Fill(0, Height / 2, Width / 2, Height / 2, 0x0000FF);
    Fill(Width / 2, Height / 2, Width / 2, Height / 2, 0x123456);
    platform::linuxos::XShmDesktopCapture capture(xvfb_->name());
    ASSERT_TRUE(capture.Available());
    platform::DesktopPicture picture;
    // Windows map asynchronously to their first paint: wait for the pattern.
    const auto patternShows = [&] {
        return capture.CaptureDesktop(picture, false) && picture.width == Width && picture.height == Height &&
               picture.At(10, 10) == 0xFF0000u && picture.At(Width - 10, 10) == 0x00FF00u &&
               picture.At(10, Height - 10) == 0x0000FFu && picture.At(Width - 10, Height - 10) == 0x123456u;
    };
    EXPECT_TRUE(e2e::WaitFor(patternShows, 10s));
    // The quadrant borders are exact.
    EXPECT_EQ(picture.At(Width / 2 - 1, 0), 0xFF0000u);
    EXPECT_EQ(picture.At(Width / 2, 0), 0x00FF00u);
    EXPECT_EQ(picture.At(0, Height / 2), 0x0000FFu);
    RecordProperty("shared_memory", capture.UsesSharedMemory() ? "yes" : "no");

    // Relative mouse mode: the arrow at the pointer, outline black, inside white.
    XWarpPointer(display, 0, DefaultRootWindow(display), 0, 0, 0, 0, 100, 100);
    XSync(display, False);
    ASSERT_TRUE(capture.CaptureDesktop(picture, true));
    EXPECT_EQ(picture.At(100, 100), 0x000000u);
    EXPECT_EQ(picture.At(101, 103), 0xFFFFFFu);
    EXPECT_EQ(picture.At(120, 100), 0xFF0000u);  // beside the arrow: the desktop
    ASSERT_TRUE(capture.CaptureDesktop(picture, false));
    EXPECT_EQ(picture.At(100, 100), 0xFF0000u);
}

TEST_F(X11Screen, CursorNameUnderThePointerGivesTheShapeCode) {
    const Window window = Fill(0, 0, Width, Height, 0xFFFFFF);
    platform::linuxos::XFixesCursorNames names(xvfb_->name());
    ASSERT_TRUE(names.Available());
    XWarpPointer(display, 0, window, 0, 0, 0, 0, 50, 50);
    struct Case {
        unsigned shape;
        const char* name;
        int code;
    };
    for (const Case& c : {Case{XC_xterm, "xterm", 2}, Case{XC_hand2, "hand2", 12}, Case{XC_watch, "watch", 3},
                          Case{XC_pirate, "pirate", 0}}) {
        // Cursor themes name the cursors they load; this display has no theme, so the test names them.
        const Cursor cursor = XCreateFontCursor(display, c.shape);
        XFixesSetCursorName(display, cursor, c.name);
        XDefineCursor(display, window, cursor);
        XSync(display, False);
        std::optional<std::string> name;
        EXPECT_TRUE(e2e::WaitFor([&] { return (name = names.CurrentCursorName()) == std::string(c.name); }, 10s))
            << "expected " << c.name << ", got " << name.value_or("(nothing)");
        EXPECT_EQ(CursorCodeForName(name.value_or("")), c.code) << c.name;
        XFreeCursor(display, cursor);
    }
    // A cursor without a name is "any other cursor".
    const Cursor unnamed = XCreateFontCursor(display, XC_gumby);
    XDefineCursor(display, window, unnamed);
    XSync(display, False);
    EXPECT_TRUE(e2e::WaitFor([&] { return names.CurrentCursorName() == std::string(); }, 10s));
    XFreeCursor(display, unnamed);
}

TEST_F(X11Screen, WindowKeptOffTheScreenIsReadableButNotOnTheDesktop) {
    const Window under = Fill(0, 0, Width, Height, 0x405060);
    const Window copy = Fill(100, 100, 200, 150, 0xC08020);
    platform::linuxos::XShmDesktopCapture capture(xvfb_->name());
    platform::DesktopPicture picture;
    const auto desktopAt = [&](int x, int y) {
        return capture.CaptureDesktop(picture, false) ? picture.At(x, y) : 0xFFFFFFFFu;
    };
    const auto windowPixel = [&] {
        XImage* image = XGetImage(display, copy, 10, 10, 1, 1, AllPlanes, ZPixmap);
        const unsigned long pixel = image ? XGetPixel(image, 0, 0) & 0xFFFFFF : 0xFFFFFFFF;
        if (image) XDestroyImage(image);
        return pixel;
    };
    ASSERT_TRUE(e2e::WaitFor([&] { return desktopAt(150, 150) == 0xC08020u; }, 10s));

    {
        platform::linuxos::XOffscreenWindow offscreen(xvfb_->name());
        ASSERT_TRUE(offscreen.Redirect(copy));
        EXPECT_TRUE(e2e::WaitFor([&] { return desktopAt(150, 150) == 0x405060u; }, 10s)) << std::hex << picture.At(150, 150);
        // Still mapped and painted: whoever reads the window gets its content.
        XClearWindow(display, copy);
        XSync(display, False);
        EXPECT_EQ(windowPixel(), 0xC08020u);
        XWindowAttributes attributes;
        ASSERT_TRUE(XGetWindowAttributes(display, copy, &attributes));
        EXPECT_EQ(attributes.map_state, IsViewable);

        // A second client cannot take it over while the first holds it.
        platform::linuxos::XOffscreenWindow second(xvfb_->name());
        EXPECT_FALSE(second.Redirect(copy));
    }
    // The redirection ends with its connection: the window is back on screen.
    EXPECT_TRUE(e2e::WaitFor([&] { return desktopAt(150, 150) == 0xC08020u; }, 10s));
    XDestroyWindow(display, copy);
    XDestroyWindow(display, under);
    XSync(display, False);
}

}  // namespace
}  // namespace corvala
