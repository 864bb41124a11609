// The viewer drives the host: a click and key presses on the viewer's remote
// picture arrive on the host's display as real X events.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* ViewerId = "444555666";

// A window over the whole host display that records what reaches it.
class EventRecorder {
public:
    explicit EventRecorder(const std::string& displayName) {
        display_ = XOpenDisplay(displayName.c_str());
        if (!display_) return;
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = 0x808080;
        attributes.event_mask = KeyPressMask | ButtonPressMask;
        const int screen = DefaultScreen(display_);
        window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0,
                                unsigned(DisplayWidth(display_, screen)), unsigned(DisplayHeight(display_, screen)), 0,
                                CopyFromParent, InputOutput, CopyFromParent,
                                CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
        XMapRaised(display_, window_);
        XSync(display_, False);
        reader_ = std::thread([this] { Read(); });
    }
    ~EventRecorder() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
        if (display_) XCloseDisplay(display_);
    }
    bool Ok() const { return display_ != nullptr; }

    struct Click {
        int x, y;
        unsigned button;
    };
    std::vector<Click> Clicks() {
        std::lock_guard lock(mutex_);
        return clicks_;
    }
    std::string Typed() {
        std::lock_guard lock(mutex_);
        return typed_;
    }

private:
    void Read() {
        while (!stop_) {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                std::lock_guard lock(mutex_);
                if (event.type == ButtonPress) {
                    clicks_.push_back({event.xbutton.x_root, event.xbutton.y_root, event.xbutton.button});
                } else if (event.type == KeyPress) {
                    char text[8] = {};
                    KeySym keysym;
                    if (XLookupString(&event.xkey, text, sizeof text - 1, &keysym, nullptr) > 0) typed_ += text;
                }
            }
            std::this_thread::sleep_for(10ms);
        }
    }

    Display* display_ = nullptr;
    Window window_ = 0;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Click> clicks_;
    std::string typed_;
};

TEST(RemoteInput, ViewerClickAndKeysReachTheHost) {
    ScratchFolder scratch("input");
    ServerProcess signal("crsignal", {"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile("server.pem"), "--key",
                                      PkiFile("server.key")});
    ASSERT_NE(signal.port(), 0);
    XvfbDisplay hostDisplay(1280, 800), viewerDisplay(1280, 800);
    WriteProgramSettings(scratch / "host" / "home", HostId, "secret7");
    WriteProgramSettings(scratch / "viewer" / "home", ViewerId);
    ChildProcess host({(BinFolder() / "cr").string(), "/from_application"},
                      ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()), scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s));
    EventRecorder recorder(hostDisplay.name());
    ASSERT_TRUE(recorder.Ok());

    ChildProcess viewer({(BinFolder() / "cr").string(), "/from_application", "--connect", HostId, "--password",
                         "secret7"},
                        ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()),
                        scratch / "viewer.log");
    // The recorder's grey fills the host's screen; once the viewer shows it,
    // the picture is live.
    const std::string viewerX = "DISPLAY=" + viewerDisplay.name() + " ";
    ASSERT_TRUE(WaitFor(
        [&] {
            auto pixel = RunCommand(viewerX + "import -window root -crop 1x1+640+420 txt:- 2>/dev/null");
            return pixel.output.find("#808080") != std::string::npos ||
                   pixel.output.find("#7F7F7F") != std::string::npos ||
                   pixel.output.find("#818181") != std::string::npos;
        },
        60s))
        << viewer.Log() << MessageLog(scratch / "viewer");

    // The middle of the viewer's window is the middle of the host's screen.
    RunCommand(viewerX + "xdotool mousemove 640 420 click 1");
    ASSERT_TRUE(WaitFor([&] { return !recorder.Clicks().empty(); }, 20s)) << "no click reached the host";
    const auto click = recorder.Clicks().front();
    EXPECT_EQ(click.button, 1u);
    EXPECT_NEAR(click.x, 640, 40);
    EXPECT_NEAR(click.y, 400, 40);

    RunCommand(viewerX + "xdotool type --delay 50 'corvala'");
    EXPECT_TRUE(WaitFor([&] { return recorder.Typed() == "corvala"; }, 20s)) << "typed: " << recorder.Typed();
}

}  // namespace
}  // namespace corvala::e2e
