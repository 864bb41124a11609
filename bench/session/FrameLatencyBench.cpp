// Frame latency over loopback with two real copies of the program at their
// own settings (engine screen source at 10 frames a second): from a change of
// the host's screen to the changed pixel on the viewer's display.
//
// The host's desktop background switches between colours; a tight loop
// reads one pixel of the viewer's picture until it takes the new colour.
// Both stamps come from this process's clock. Measured for the screen source
// and for a locked host, which streams its desktop copy window. Runs inside the loopback-only
// namespace of the end-to-end tests and prints the median and p99.
//
// QuietScreenBesideReference: changes on an otherwise quiet screen, measured
// for the whole program and, in the same run, for the bare webrtcbin pipeline
// (bench/engine/ReferencePipeline.h, the engine bench's reference) on the same display; then the CPU that host and
// viewer spend on a static desktop (CORVALA_IDLE_SECONDS, default 20).
//   CORVALA_BIN_DIR=build/bin CORVALA_PKI_DIR=build/pki build/bench/frame_latency_bench --gtest_filter='*Quiet*'

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "E2eSupport.h"
#include "PrivateLogind.h"
#include "ProgramHarness.h"
#include "ReferencePipeline.h"
#include "ServerProcess.h"

// Xlib last: its macros clash with names in the headers above.
#include "DisplayPixels.h"

#include <X11/extensions/Xdamage.h>

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;
using Clock = std::chrono::steady_clock;

bool Near(unsigned long a, unsigned long b) {
    for (int shift : {16, 8, 0})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 40) return false;
    return true;
}

// Three colours in turn: after a change that never showed, the next one
// still differs from what the viewer shows.
constexpr unsigned long Colours[3] = {0xD02020, 0x20D020, 0x2020D0};
// A point of the picture over the host's top left, clear of the host's own
// window in the middle of its screen.
constexpr int ProbeX = 400, ProbeY = 280;

// Changes per measurement; CORVALA_FRAME_CHANGES asks for more (a change in
// a hundred that never shows needs a few hundred to be seen).
int ChangeCount() {
    const char* text = std::getenv("CORVALA_FRAME_CHANGES");
    const int count = text ? std::atoi(text) : 0;
    return count > 0 ? count : 40;
}

class FrameLatency : public ::testing::Test {
protected:
    void StartHostAndViewer(std::map<std::string, std::string> hostExtra = {}) {
        ASSERT_NE(signal.port(), 0);
        ASSERT_TRUE(host.Ok() && viewer.Ok());
        host.Fill(Colours[0]);
        WriteProgramSettings(scratch / "host" / "home", "111222333", "secret7");
        WriteProgramSettings(scratch / "viewer" / "home", "444555666");
        auto hostEnvironment = ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name());
        for (auto& [key, value] : hostExtra) hostEnvironment[key] = value;
        hostProgram = std::make_unique<ChildProcess>(
            HostCommand(), hostEnvironment,
            scratch / "host.log");
        ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), "111222333", PkiFile("ca.pem")); }, 30s));
        viewerProgram = std::make_unique<ChildProcess>(
            ViewerCommand("111222333", "secret7"),
            ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()), scratch / "viewer.log");
        ASSERT_TRUE(WaitFor([&] { return Near(viewer.At(ProbeX, ProbeY), Colours[0]); }, 60s));
    }

    // Latencies of `changes` colour changes of the host's screen until
    // `probe` shows them; `pacing` between changes.
    std::vector<double> Measure(const std::function<unsigned long()>& probe, int changes,
                                const std::function<std::chrono::milliseconds()>& pacing) {
        std::vector<double> latencies;
        for (int i = 1; i <= changes; ++i) {
            const unsigned long colour = Colours[i % 3];
            host.Fill(colour);
            const auto changed = Clock::now();
            const auto deadline = changed + 5s;
            bool seen = false;
            while (Clock::now() < deadline && !(seen = Near(probe(), colour)))
                std::this_thread::sleep_for(1ms);
            if (seen)
                latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - changed).count());
            else
                std::printf("change %d to %06lx not seen: the probe shows %06lx\n", i, colour, probe());
            std::this_thread::sleep_for(pacing());  // pacing between samples, not a synchronisation
        }
        return latencies;
    }

    static void Print(const char* what, std::vector<double> latencies, int changes) {
        ASSERT_FALSE(latencies.empty());
        std::sort(latencies.begin(), latencies.end());
        const auto at = [&](double q) { return latencies[std::size_t(q * double(latencies.size() - 1))]; };
        std::printf("%s: %zu of %d seen; median %.1f ms, p99 %.1f ms, min %.1f ms, max %.1f ms (probe polls every 1 ms)\n",
                    what, latencies.size(), changes, at(0.5), at(0.99), latencies.front(), latencies.back());
    }

    void MeasureAndPrint(const char* what, int changes) {
        Print(what, Measure([&] { return viewer.At(ProbeX, ProbeY); }, changes, [] { return 300ms; }), changes);
    }

    ScratchFolder scratch{"bench-frames"};
    ServerProcess signal{"crsignal", SignalServerArguments()};
    XvfbDisplay hostDisplay{1280, 800}, viewerDisplay{1280, 800};
    Pixel host{hostDisplay.name()}, viewer{viewerDisplay.name()};
    std::unique_ptr<ChildProcess> hostProgram, viewerProgram;
};

TEST_F(FrameLatency, HostScreenChangeToViewerPixel) {
    StartHostAndViewer();
    MeasureAndPrint("host screen change to viewer pixel over loopback (10 fps screen source)", ChangeCount());
}

// The locked host streams its desktop copy window: the capture thread's
// 200 ms rounds come on top of the engine's own sampling.
TEST_F(FrameLatency, LockedHostScreenChangeToViewerPixel) {
    PrivateLogind logind(scratch / "bus");
    ASSERT_TRUE(logind.Ready()) << logind.Log();
    StartHostAndViewer({{"DBUS_SYSTEM_BUS_ADDRESS", logind.BusAddress()}});
    ASSERT_TRUE(logind.Lock());
    // The viewer reconnects by itself once the picture has stalled; the copy
    // window then shows on the host.
    ASSERT_TRUE(WaitFor([&] { return MappedWindowsCovering(hostDisplay.name(), 1280, 800) == 1; }, 60s));
    host.Fill(Colours[1]);
    ASSERT_TRUE(WaitFor([&] { return Near(viewer.At(ProbeX, ProbeY), Colours[1]); }, 60s));
    host.Fill(Colours[0]);
    ASSERT_TRUE(WaitFor([&] { return Near(viewer.At(ProbeX, ProbeY), Colours[0]); }, 60s));
    MeasureAndPrint("locked host (desktop copy window) screen change to viewer pixel over loopback", ChangeCount());
}

// User plus system time of a process so far, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold spaces: fields count from its end.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stod(field);
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// What was drawn on a display from its creation until Report(): the
// rectangles and how often each, so that a host that paints for itself
// while it only hosts shows which of its parts does.
class DamageCounter {
public:
    explicit DamageCounter(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
        int error = 0;
        if (!display_ || !XDamageQueryExtension(display_, &eventBase_, &error)) return;
        damage_ = XDamageCreate(display_, DefaultRootWindow(display_), XDamageReportRawRectangles);
        XSync(display_, False);
    }
    ~DamageCounter() {
        if (display_) XCloseDisplay(display_);
    }
    std::string Report() {
        if (!damage_) return "no DAMAGE";
        std::map<std::string, int> rectangles;
        int total = 0;
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type != eventBase_ + XDamageNotify) continue;
            const XRectangle& area = reinterpret_cast<XDamageNotifyEvent*>(&event)->area;
            ++total;
            ++rectangles[std::to_string(area.width) + "x" + std::to_string(area.height) + "+" + std::to_string(area.x) +
                         "+" + std::to_string(area.y)];
        }
        std::string text = std::to_string(total) + " drawn rectangles";
        for (const auto& [where, count] : rectangles) text += ", " + where + " " + std::to_string(count) + "x";
        return text;
    }

private:
    Display* display_;
    int eventBase_ = 0;
    Damage damage_ = 0;
};

double LoadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

int IdleSeconds() {
    const char* text = std::getenv("CORVALA_IDLE_SECONDS");
    const int seconds = text ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 20;
}

// A change comes 300-500 ms after the previous one was seen: the screen is
// quiet for several frame periods, at no fixed phase to the capture's.
TEST_F(FrameLatency, QuietScreenBesideReference) {
    const int changes = ChangeCount();
    std::mt19937 random(42);
    const auto pacing = [&] { return std::chrono::milliseconds(300 + random() % 200); };
    ASSERT_TRUE(host.Ok());
    host.Fill(Colours[0]);
    {
        // 0xRRGGBB of the probe pixel in the reference's last decoded frame.
        std::atomic<unsigned long> probed{0};
        ReferencePipeline reference(hostDisplay.name(), 1280, 800, 10, [&](const uint8_t* pixels, int width) {
            if (width <= ProbeX) return;
            const uint8_t* pixel = pixels + (std::size_t(ProbeY) * std::size_t(width) + ProbeX) * 4;  // BGRx
            probed = (unsigned long)pixel[2] << 16 | (unsigned long)pixel[1] << 8 | pixel[0];
        });
        const auto probe = [&] { return probed.load(); };
        ASSERT_TRUE(reference.ok());
        ASSERT_TRUE(WaitFor([&] { return Near(probe(), Colours[0]); }, 30s)) << "no reference frame";
        const double load = LoadAverage();
        Print("reference (bare webrtcbin, ximagesrc 10 fps) screen change to decoded pixel",
              Measure(probe, changes, pacing), changes);
        const double cpu0 = CpuSeconds(getpid());
        std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds()));
        std::printf("reference idle: both peers in one process %.1f %% of a core over %d s (load %.2f)\n",
                    (CpuSeconds(getpid()) - cpu0) * 100.0 / IdleSeconds(), IdleSeconds(), load);
    }
    StartHostAndViewer();
    const double load = LoadAverage();
    Print("program (10 fps screen source) screen change to viewer pixel",
          Measure([&] { return viewer.At(ProbeX, ProbeY); }, changes, pacing), changes);
    // The last change settles; then nothing changes on the host's screen.
    std::this_thread::sleep_for(3s);
    DamageCounter hostDrawing(hostDisplay.name()), viewerDrawing(viewerDisplay.name());
    const double host0 = CpuSeconds(hostProgram->pid()), viewer0 = CpuSeconds(viewerProgram->pid());
    std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds()));
    std::printf("drawn meanwhile on the host's display: %s\n  on the viewer's: %s\n", hostDrawing.Report().c_str(),
                viewerDrawing.Report().c_str());
    std::printf("program idle, static desktop, one viewer: host %.1f %%, viewer %.1f %% of a core over %d s "
                "(load %.2f at the start of the changes, %.2f now)\n",
                (CpuSeconds(hostProgram->pid()) - host0) * 100.0 / IdleSeconds(),
                (CpuSeconds(viewerProgram->pid()) - viewer0) * 100.0 / IdleSeconds(), IdleSeconds(), load,
                LoadAverage());
}

}  // namespace
}  // namespace corvala::e2e
