// The web viewer beside the program's viewer, both watching one host over
// loopback in the same run: the time from pressing Connect to the first
// picture, and the latency from a change of the host's screen to the changed
// pixel, in headless Chromium and on the program viewer's display.
//
// The page stamps the wall-clock time of the first decoded frame that shows
// a new colour (a video-frame callback reads one pixel of each frame); the
// program viewer's pixel is read from its display in a 1 ms loop. The page
// also stamps when the browser received that frame's packets, which tells
// the network and host's share from the browser's own decoding and drawing. Both are
// measured against this process's wall clock. Prints median and p99.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "DevToolsBrowser.h"
#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"

// Xlib last: its macros clash with names in the headers above.
#include "DisplayPixels.h"

namespace corvala::e2e {
namespace {

using nlohmann::json;
using testing::PkiFile;
using testing::ServerProcess;
using Wall = std::chrono::system_clock;

constexpr unsigned long Colours[3] = {0xD02020, 0x20D020, 0x2020D0};
// Host pixel the browser probes, and where the program viewer's window
// shows the host's screen; both clear of the host's own window.
constexpr int FrameX = 200, FrameY = 400;
constexpr int ViewerX = 400, ViewerY = 280;

bool Near(unsigned long a, unsigned long b) {
    for (int shift : {16, 8, 0})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 40) return false;
    return true;
}

double Millis(Wall::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double NowMs() { return Millis(Wall::now().time_since_epoch()); }

// Installed in the page: for every decoded frame, the probe pixel's colour
// and the wall time at which that colour first showed.
constexpr char kProbe[] = R"((() => {
  const v = document.getElementById("video");
  const c = document.createElement("canvas"); c.width = 1; c.height = 1;
  const g = c.getContext("2d", { willReadFrequently: true });
  window.probe = { rgb: 0, since: 0, received: 0 };
  const step = (now, frame) => {
    g.drawImage(v, %d, %d, 1, 1, 0, 0, 1, 1);
    const [r, gr, b] = g.getImageData(0, 0, 1, 1).data;
    const rgb = (r << 16) | (gr << 8) | b;
    if (rgb !== window.probe.rgb)
      window.probe = { rgb, since: performance.timeOrigin + performance.now(),
                       received: frame.receiveTime ? performance.timeOrigin + frame.receiveTime : 0 };
    v.requestVideoFrameCallback(step);
  };
  v.requestVideoFrameCallback(step);
  return true;
})())";

void Print(const char* what, std::vector<double> values) {
    if (values.empty()) return (void)std::printf("%s: nothing measured\n", what);
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) { return values[std::size_t(q * double(values.size() - 1))]; };
    std::printf("%s: %zu samples; median %.1f ms, p99 %.1f ms, min %.1f ms, max %.1f ms\n", what, values.size(),
                at(0.5), at(0.99), values.front(), values.back());
}

TEST(WebViewerBench, BrowserBesideProgramViewer) {
    ScratchFolder scratch("bench-web");
    auto signalArgs = SignalServerArguments();
    signalArgs.insert(signalArgs.end(), {"--ws-port", "0"});
    ServerProcess signal("crsignal", signalArgs);
    ServerProcess web("crweb", {"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile("server.pem"), "--key",
                                PkiFile("server.key"), "--geoip", "none"});
    ASSERT_TRUE(signal.port() && web.port() && signal.waitForOutput("wss://", 1, 10s));
    const auto& out = signal.output();
    const int wsPort = std::atoi(out.c_str() + out.find(':', out.find("wss://") + 6) + 1);
    XvfbDisplay hostDisplay(1280, 800), viewerDisplay(1280, 800);
    Pixel host(hostDisplay.name()), viewer(viewerDisplay.name());
    host.Fill(Colours[0]);
    WriteProgramSettings(scratch / "host" / "home", "111222333", "secret7");
    WriteProgramSettings(scratch / "viewer" / "home", "444555666");
    ChildProcess hostProgram(HostCommand(), ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()),
                             scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), "111222333", PkiFile("ca.pem")); }, 30s));

    // The program viewer: from its start (the process included) to the picture.
    const auto viewerStart = Wall::now();
    ChildProcess viewerProgram(ViewerCommand("111222333", "secret7"),
                               ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()),
                               scratch / "viewer.log");
    ASSERT_TRUE(WaitFor([&] { return Near(viewer.At(ViewerX, ViewerY), Colours[0]); }, 60s));
    const double programFirst = Millis(Wall::now() - viewerStart);

    // The browser: from the Connect button to the first decoded frame.
    DevToolsBrowser browser(scratch / "browser", PkiFile("server.pem"));
    ASSERT_TRUE(browser.Ok());
    ASSERT_TRUE(browser.Navigate("https://localhost:" + std::to_string(web.port()) +
                                 "/connect/?signalling=wss://localhost:" + std::to_string(wsPort) + "/"));
    const auto first = browser.Evaluate(R"(new Promise((resolve) => {
      document.getElementById("host-id").value = "111222333";
      document.getElementById("password").value = "secret7";
      const v = document.getElementById("video");
      const t0 = performance.now();
      const wait = () => (v.readyState >= 2 && v.videoWidth ? resolve(performance.now() - t0) : setTimeout(wait, 2));
      document.getElementById("connect").click();
      wait();
    }))");
    ASSERT_TRUE(first && first->is_number()) << browser.Log();
    std::printf("first picture: program viewer %.0f ms from its start (process start-up included), "
                "web viewer %.0f ms from pressing Connect\n", programFirst, first->get<double>());

    char probe[sizeof kProbe + 16];
    std::snprintf(probe, sizeof probe, kProbe, FrameX, FrameY);
    ASSERT_EQ(browser.Evaluate(probe), json(true));

    const char* text = std::getenv("CORVALA_FRAME_CHANGES");
    const int changes = text && std::atoi(text) > 0 ? std::atoi(text) : 30;
    std::vector<double> programLatency, browserLatency, browserReceipt;
    for (int i = 1; i <= changes; ++i) {
        const unsigned long colour = Colours[i % 3];
        host.Fill(colour);
        const double changed = NowMs();
        const auto deadline = Wall::now() + 5s;
        while (Wall::now() < deadline && !Near(viewer.At(ViewerX, ViewerY), colour))
            std::this_thread::sleep_for(1ms);
        if (Wall::now() < deadline) programLatency.push_back(NowMs() - changed);
        json seen;
        WaitFor([&] {
            seen = browser.Evaluate("window.probe").value_or(json());
            return seen.is_object() && Near(seen.value("rgb", 0ul), colour);
        }, 5s);
        if (seen.is_object() && Near(seen.value("rgb", 0ul), colour))
        {
            browserLatency.push_back(seen["since"].get<double>() - changed);
            if (seen["received"].get<double>() > 0) browserReceipt.push_back(seen["received"].get<double>() - changed);
        }
        std::this_thread::sleep_for(300ms);
    }
    Print("host screen change to program viewer pixel", programLatency);
    Print("host screen change to web viewer pixel (decoded frame)", browserLatency);
    Print("host screen change to the web viewer's receipt of that frame (before decoding)", browserReceipt);
}

}  // namespace
}  // namespace corvala::e2e
