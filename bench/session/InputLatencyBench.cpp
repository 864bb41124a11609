// Input latency over loopback with two real copies of the program: from a key
// press on the viewer's display (over its remote picture) to the key event
// arriving on the host's display through the host's injection.
//
// The viewer's key is pressed with XTest on the viewer's display; a recorder
// window on the host's display stamps what arrives. Both stamps come from
// this process's clock. Runs inside the loopback-only namespace of the
// end-to-end tests and prints the median and p99 of the latencies.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"
#include "XEventRecorder.h"

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;
using Clock = std::chrono::steady_clock;

TEST(Bench, KeyPressToHostEvent) {
    constexpr int Presses = 200;
    ScratchFolder scratch("bench-input");
    ServerProcess signal("crsignal", SignalServerArguments());
    ASSERT_NE(signal.port(), 0);
    XvfbDisplay hostDisplay(1280, 800), viewerDisplay(1280, 800);
    WriteProgramSettings(scratch / "host" / "home", "111222333", "secret7");
    WriteProgramSettings(scratch / "viewer" / "home", "444555666");
    ChildProcess host(HostCommand(),
                      ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()), scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), "111222333", PkiFile("ca.pem")); }, 30s));
    XEventRecorder recorder(hostDisplay.name(), 0x808080);
    ChildProcess viewer(ViewerCommand("111222333", "secret7"),
                        ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()),
                        scratch / "viewer.log");
    const std::string viewerX = "DISPLAY=" + viewerDisplay.name() + " ";
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto pixel = ScreenPixel(viewerDisplay.name(), 640, 420);
            return pixel && ((*pixel >> 16) & 0xFF) > 0x70 && ((*pixel >> 16) & 0xFF) < 0x90;
        },
        60s));
    RunCommand(viewerX + "xdotool mousemove 640 420 click 1");  // focus the picture
    ASSERT_TRUE(WaitFor([&] { return !recorder.Clicks().empty(); }, 20s));

    Display* viewerDisplayX = XOpenDisplay(viewerDisplay.name().c_str());
    ASSERT_NE(viewerDisplayX, nullptr);
    const KeyCode key = XKeysymToKeycode(viewerDisplayX, XK_a);
    std::vector<double> latencies;
    for (int i = 0; i < Presses; ++i) {
        const std::size_t before = recorder.Keys().size();
        const auto sent = Clock::now();
        XTestFakeKeyEvent(viewerDisplayX, key, True, CurrentTime);
        XTestFakeKeyEvent(viewerDisplayX, key, False, CurrentTime);
        XFlush(viewerDisplayX);
        if (!WaitFor([&] { return recorder.Keys().size() > before; }, 5s)) continue;
        latencies.push_back(std::chrono::duration<double, std::milli>(recorder.Keys()[before].arrived - sent).count());
        std::this_thread::sleep_for(20ms);
    }
    XCloseDisplay(viewerDisplayX);
    ASSERT_FALSE(latencies.empty());
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies[std::size_t(q * double(latencies.size() - 1))]; };
    std::printf("key press to host event over loopback: %zu of %d arrived; median %.2f ms, p99 %.2f ms, max %.2f ms "
                "(the recorder polls every 1 ms)\n",
                latencies.size(), Presses, at(0.5), at(0.99), latencies.back());
}

}  // namespace
}  // namespace corvala::e2e
