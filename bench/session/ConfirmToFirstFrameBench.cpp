// Time from the viewer's confirmed connection to the first remote frame on
// its screen, with two real copies of the program over loopback.
//
// A host shows a red wallpaper on its display; a viewer starts with
// `--connect`. The viewer confirms as soon as it has joined the signalling
// server; the bench notes that moment (a probe sees it joined) and the first
// moment red covers part of the viewer's display (read straight from the X
// server every 10 ms). Runs inside the loopback-only namespace of the
// end-to-end tests. Prints the figures of each round and their median.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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
using Clock = std::chrono::steady_clock;

// Red pixels on a coarse grid of the display.
int RedSamples(Display* display) {
    const int w = DisplayWidth(display, 0), h = DisplayHeight(display, 0);
    XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    if (!image) return 0;
    int red = 0;
    for (int y = 0; y < h; y += 16)
        for (int x = 0; x < w; x += 16) {
            const unsigned long p = XGetPixel(image, x, y);
            if (((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80) ++red;
        }
    XDestroyImage(image);
    return red;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

TEST(Bench, ConfirmToFirstFrame) {
    constexpr int Rounds = 5;
    std::vector<double> joined, firstFrame, confirmToFrame;
    ServerProcess signal("crsignal", SignalServerArguments());
    ASSERT_NE(signal.port(), 0);
    XvfbDisplay hostDisplay(1280, 800), viewerDisplay(1280, 800);
    const unsigned long red[4] = {0xE02020, 0xE02020, 0xE02020, 0xE02020};
    PaintRootQuadrants(hostDisplay.name(), red);
    Display* viewerX = XOpenDisplay(viewerDisplay.name().c_str());
    ASSERT_NE(viewerX, nullptr);

    ScratchFolder scratch("bench-session");
    WriteProgramSettings(scratch / "host" / "home", "111222333", "secret7");
    ChildProcess host(HostCommand(),
                      ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()), scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), "111222333", PkiFile("ca.pem")); }, 30s));

    for (int round = 0; round < Rounds; ++round) {
        const std::string viewerId = "44455566" + std::to_string(round);
        const auto folder = scratch / ("viewer" + std::to_string(round));
        WriteProgramSettings(folder / "home", viewerId);
        const auto start = Clock::now();
        ChildProcess viewer(ViewerCommand("111222333", "secret7"),
                            ProgramEnvironment(folder, signal.port(), viewerDisplay.name()), folder / "viewer.log");
        Clock::time_point joinedAt{}, frameAt{};
        WaitFor([&] {
            if (joinedAt == Clock::time_point{} && ProgramJoined(signal.port(), viewerId, PkiFile("ca.pem"), 100ms))
                joinedAt = Clock::now();
            return joinedAt != Clock::time_point{};
        }, 30s);
        const auto deadline = Clock::now() + 60s;
        while (Clock::now() < deadline) {
            if (RedSamples(viewerX) > 200) {
                frameAt = Clock::now();
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_NE(frameAt, Clock::time_point{}) << viewer.Log();
        joined.push_back(Ms(joinedAt - start));
        firstFrame.push_back(Ms(frameAt - start));
        confirmToFrame.push_back(Ms(frameAt - joinedAt));
        std::printf("round %d: joined %.0f ms, first frame %.0f ms after start, %.0f ms after confirm\n", round,
                    joined.back(), firstFrame.back(), confirmToFrame.back());
        viewer.Terminate();
        // The host notices the viewer gone through its liveness check; give the
        // next round a host that is idle again.
        std::this_thread::sleep_for(2s);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("median over %d rounds: joined %.0f ms, first frame %.0f ms after start, confirm to first frame "
                "%.0f ms (the join is seen up to about 150 ms late)\n",
                Rounds, median(joined), median(firstFrame), median(confirmToFrame));
    XCloseDisplay(viewerX);
}

}  // namespace
}  // namespace corvala::e2e
