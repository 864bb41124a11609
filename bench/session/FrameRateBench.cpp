// Delivered frame rate over loopback with two real copies of the program, for
// each frame rate the host's user can choose ("video.conf" in the host's
// program folder): how many different pictures per second reach the viewer's
// display while the host's screen changes faster than any of the rates.
//
// The host's desktop background steps through 64 colours (4 levels per
// channel, so any two differ by far more than the codec's error) every
// 4 ms; a probe reads one pixel of the viewer's display every millisecond
// and counts the changes it sees. A frame that shows for less than a
// millisecond would be missed, so the count is a lower bound. Runs inside
// the loopback-only namespace of the end-to-end tests. CORVALA_CHANGE_MS sets
// another pace for the host's screen.
//   CORVALA_BIN_DIR=build/bin CORVALA_PKI_DIR=build/pki build/bench/frame_rate_bench

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"

// Xlib last: its macros clash with names in the headers above.
#include "DisplayPixels.h"

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;
using Clock = std::chrono::steady_clock;

constexpr int Levels[4] = {0x10, 0x60, 0xB0, 0xF0};
constexpr int ProbeX = 400, ProbeY = 280;  // clear of the host's own window
constexpr auto Measured = std::chrono::seconds(6);

unsigned long Colour(int step) {
    const int i = step % 64;
    return (unsigned long)(Levels[i & 3] << 16 | Levels[(i >> 2) & 3] << 8 | Levels[(i >> 4) & 3]);
}

// The colour index a pixel is nearest to.
int Index(unsigned long pixel) {
    const auto level = [](int value) {
        int best = 0;
        for (int l = 1; l < 4; ++l)
            if (std::abs(value - Levels[l]) < std::abs(value - Levels[best])) best = l;
        return best;
    };
    return level(int(pixel >> 16) & 0xFF) | level(int(pixel >> 8) & 0xFF) << 2 | level(int(pixel) & 0xFF) << 4;
}

// Milliseconds between two changes of the host's screen; CORVALA_CHANGE_MS
// asks for another pace.
int ChangeMs() {
    const char* text = std::getenv("CORVALA_CHANGE_MS");
    const int ms = text ? std::atoi(text) : 0;
    return ms > 0 ? ms : 4;
}

// The host's chosen rate, and whether its whole screen changes or a quarter.
class FrameRate : public ::testing::TestWithParam<std::tuple<int, bool>> {
protected:
    ScratchFolder scratch{"bench-rate"};
    ServerProcess signal{"crsignal", SignalServerArguments()};
    XvfbDisplay hostDisplay{1280, 800}, viewerDisplay{1280, 800};
    Pixel host{hostDisplay.name()}, viewer{viewerDisplay.name()};
    std::unique_ptr<ChildProcess> hostProgram, viewerProgram;
};

TEST_P(FrameRate, PicturesPerSecondOnTheViewer) {
    const auto [rate, wholeScreen] = GetParam();
    ASSERT_NE(signal.port(), 0);
    ASSERT_TRUE(host.Ok() && viewer.Ok());
    host.Fill(Colour(0));
    const auto hostHome = scratch / "host" / "home";
    WriteProgramSettings(hostHome, "111222333", "secret7");
    WriteProgramSettings(scratch / "viewer" / "home", "444555666");
    std::ofstream(hostHome / "video.conf") << "frame_rate=" << rate << "\n";
    hostProgram = std::make_unique<ChildProcess>(
        HostCommand(), ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()), scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), "111222333", PkiFile("ca.pem")); }, 30s));
    viewerProgram = std::make_unique<ChildProcess>(
        ViewerCommand("111222333", "secret7"),
        ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()), scratch / "viewer.log");
    ASSERT_TRUE(WaitFor([&] { return Index(viewer.At(ProbeX, ProbeY)) == 0; }, 60s));

    std::atomic<bool> stop{false};
    std::thread changer([&] {
        Pixel changing(hostDisplay.name());
        for (int step = 1; !stop; ++step) {
            if (wholeScreen)
                changing.Fill(Colour(step));
            else
                changing.FillCorner(Colour(step), 640, 400);
            std::this_thread::sleep_for(std::chrono::milliseconds(ChangeMs()));
        }
    });
    int changes = 0;
    int shown = Index(viewer.At(ProbeX, ProbeY));
    const auto start = Clock::now();
    while (Clock::now() - start < Measured) {
        const int now = Index(viewer.At(ProbeX, ProbeY));
        if (now != shown) ++changes;
        shown = now;
        std::this_thread::sleep_for(1ms);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    changer.join();
    std::printf("host frame rate %d, %s changing every %d ms: %.1f pictures per second on the viewer (%d changes in %.1f s)\n",
                rate, wholeScreen ? "whole 1280x800 screen" : "640x400 quarter", ChangeMs(), changes / seconds, changes,
                seconds);
    // What the host's component was made with, from the host's own log.
    std::ifstream log(scratch / "host.log");
    for (std::string line; std::getline(log, line);)
        if (line.find("activating the component") != std::string::npos) std::printf("  host: %s\n", line.c_str());
}

INSTANTIATE_TEST_SUITE_P(ChosenRates, FrameRate, ::testing::Combine(::testing::Values(10, 30, 60), ::testing::Values(true, false)));

}  // namespace
}  // namespace corvala::e2e
