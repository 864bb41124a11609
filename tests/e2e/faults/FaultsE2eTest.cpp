// Faults during a session between two real copies of the program, on two
// Xvfb displays, with crsignal on loopback; everything inside the test's own
// loopback-only network namespace, which is also where the faults are made
// (the link taken down, packets dropped).
//
// The picture is watched at one point of the viewer's screen while the host's
// background switches colour: a colour reaching the viewer is a frame that
// went through the whole path.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"

namespace corvala::e2e {
namespace {

namespace fs = std::filesystem;
using testing::PkiFile;
using testing::ServerProcess;
using Clock = std::chrono::steady_clock;

constexpr const char* HostId = "111222333";
constexpr const char* ViewerId = "444555666";
constexpr const char* NextViewerId = "777888999";
constexpr const char* HostPassword = "secret7";
// Three colours in turn: after a change that never showed, the next one
// still differs from what the viewer shows.
constexpr unsigned long Colours[3] = {0xD02020, 0x20D020, 0x2020D0};
// A point of the picture over the host's top left, clear of the host's own
// window in the middle of its screen.
constexpr int ProbeX = 400, ProbeY = 280;

bool Near(unsigned long a, unsigned long b) {
    for (int shift : {16, 8, 0})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 40) return false;
    return true;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        signal = std::make_unique<ServerProcess>("crsignal", SignalServerArguments());
        ASSERT_NE(signal->port(), 0);
        ASSERT_TRUE(Fill(Colours[0]));
        WriteProgramSettings(scratch / "host" / "home", HostId, HostPassword);
        auto environment = ProgramEnvironment(scratch / "host", signal->port(), hostDisplay.name());
        // What the host notices is written as information, which Qt sends
        // to the journal unless told otherwise.
        environment["QT_FORCE_STDERR_LOGGING"] = "1";
        host = std::make_unique<ChildProcess>(HostCommand(), environment, scratch / "host.log");
        ASSERT_TRUE(WaitFor([&] { return Joined(HostId); }, 30s)) << host->Log();
    }
    void TearDown() override {
        RunCommand("ip link set lo up; nft delete table inet faults 2>/dev/null");
        viewers.clear();
        host.reset();
    }

    bool Joined(const std::string& id) { return ProgramJoined(signal->port(), id, PkiFile("ca.pem")); }

    // The whole background of the host in one colour.
    bool Fill(unsigned long colour) {
        const unsigned long quadrants[4] = {colour, colour, colour, colour};
        return PaintRootQuadrants(hostDisplay.name(), quadrants);
    }

    bool Shows(const XvfbDisplay& display, unsigned long colour, std::chrono::milliseconds timeout) {
        return WaitFor([&] { return Near(ScreenPixel(display.name(), ProbeX, ProbeY).value_or(0), colour); }, timeout);
    }

    // A viewer copy of its own (folder `name`) connecting to the host.
    ChildProcess& StartViewer(const std::string& name, const std::string& id, const XvfbDisplay& display) {
        WriteProgramSettings(scratch / name / "home", id);
        viewers.push_back(std::make_unique<ChildProcess>(
            ViewerCommand(HostId, HostPassword), ProgramEnvironment(scratch / name, signal->port(), display.name()),
            scratch / (name + ".log")));
        return *viewers.back();
    }

    std::string Logs() {
        std::string text = "host output:\n" + host->Log();
        for (const auto& viewer : viewers) text += "\nviewer output:\n" + viewer->Log();
        return text + "\nviewer messages:\n" + MessageLog(scratch / "viewer");
    }

    // How many colour changes of the host reach the viewer's probe while the
    // host changes colour every `period` for `duration`.
    int ChangesShown(std::chrono::milliseconds period, std::chrono::seconds duration) {
        int shown = 0;
        const auto end = Clock::now() + duration;
        for (int i = 1; Clock::now() < end; ++i) {
            const unsigned long colour = Colours[i % 3];
            Fill(colour);
            const auto next = Clock::now() + period;
            bool seen = false;
            while (Clock::now() < next) {
                if (!seen && Near(ScreenPixel(viewerDisplay.name(), ProbeX, ProbeY).value_or(0), colour)) {
                    seen = true;
                    ++shown;
                }
                std::this_thread::sleep_for(10ms);
            }
        }
        return shown;
    }

    ScratchFolder scratch{"faults"};
    std::unique_ptr<ServerProcess> signal;
    XvfbDisplay hostDisplay{1280, 800};
    XvfbDisplay viewerDisplay{1280, 800};
    std::unique_ptr<ChildProcess> host;
    std::vector<std::unique_ptr<ChildProcess>> viewers;
};

TEST_F(Faults, SignalServerKilledAndRestartedDuringASession) {
    StartViewer("viewer", ViewerId, viewerDisplay);
    ASSERT_TRUE(Shows(viewerDisplay, Colours[0], 90s)) << Logs();
    ASSERT_TRUE(WaitFor([&] { return Joined(ViewerId); }, 30s)) << Logs();

    const std::string port = std::to_string(signal->port());
    ASSERT_EQ(::kill(signal->pid(), SIGKILL), 0);
    signal.reset();
    // Peer to peer, the session needs no server.
    ASSERT_TRUE(Fill(Colours[1]));
    EXPECT_TRUE(Shows(viewerDisplay, Colours[1], 30s)) << "the picture stopped with the server\n" << Logs();

    signal = std::make_unique<ServerProcess>("crsignal", SignalServerArguments(port));
    ASSERT_EQ(std::to_string(signal->port()), port);
    const auto restarted = Clock::now();
    // A lost link is noticed at the next keep-alive and joined again one
    // check later: two 15-second periods, with room for a slow machine.
    EXPECT_TRUE(WaitFor([&] { return Joined(HostId) && Joined(ViewerId); }, 60s)) << Logs();
    std::printf("both copies joined the restarted server %.1f s after it started\n", SecondsSince(restarted));

    ASSERT_TRUE(Fill(Colours[2]));
    EXPECT_TRUE(Shows(viewerDisplay, Colours[2], 30s)) << "the session did not survive the restart\n" << Logs();

    // A new session through the restarted server.
    XvfbDisplay nextDisplay{1280, 800};
    StartViewer("next", NextViewerId, nextDisplay);
    EXPECT_TRUE(Shows(nextDisplay, Colours[2], 90s)) << "no new session after the restart\n" << Logs();
}

TEST_F(Faults, HostAcceptsTheNextViewerAfterOneWasKilled) {
    ChildProcess& viewer = StartViewer("viewer", ViewerId, viewerDisplay);
    ASSERT_TRUE(Shows(viewerDisplay, Colours[0], 90s)) << Logs();

    ASSERT_EQ(::kill(viewer.pid(), SIGKILL), 0);
    ASSERT_TRUE(Fill(Colours[1]));
    StartViewer("next", NextViewerId, viewerDisplay);
    EXPECT_TRUE(Shows(viewerDisplay, Colours[1], 90s)) << "the next viewer got no picture\n" << Logs();
}

// A killed viewer sends no "DISCONNECT": the host hears of its end from the
// engine, which reports a peer whose packets stopped for eight seconds.
TEST_F(Faults, HostNoticesAKilledViewer) {
    ChildProcess& viewer = StartViewer("viewer", ViewerId, viewerDisplay);
    ASSERT_TRUE(Shows(viewerDisplay, Colours[0], 90s)) << Logs();

    ASSERT_EQ(::kill(viewer.pid(), SIGKILL), 0);
    const auto killed = Clock::now();
    const std::string ended = std::string("the connection to \"") + ViewerId + "\" ended";
    EXPECT_TRUE(WaitFor([&] { return host->Log().find(ended) != std::string::npos; }, 30s))
        << "the host did not notice the viewer's end\n"
        << Logs();
    std::printf("the host noticed the killed viewer after %.1f s\n", SecondsSince(killed));
}

TEST_F(Faults, PictureComesBackAfterTheLinkWasCut) {
    StartViewer("viewer", ViewerId, viewerDisplay);
    ASSERT_TRUE(Shows(viewerDisplay, Colours[0], 90s)) << Logs();

    ASSERT_EQ(RunCommand("ip link set lo down").exitCode, 0);
    const auto cut = Clock::now();
    // The viewer waits 8 whole seconds of silence before it calls the picture lost.
    const bool noSignal =
        WaitFor([&] { return MessageLog(scratch / "viewer").find("Status\tNo signal.") != std::string::npos; }, 30s);
    const double shownAfter = SecondsSince(cut);
    ASSERT_EQ(RunCommand("ip link set lo up").exitCode, 0);
    EXPECT_TRUE(noSignal) << "the viewer never showed \"No signal.\"\n" << Logs();
    std::printf("\"No signal.\" shown %.1f s after the link went down; link restored\n", shownAfter);

    const auto restored = Clock::now();
    ASSERT_TRUE(Fill(Colours[1]));
    EXPECT_TRUE(Shows(viewerDisplay, Colours[1], 90s)) << "the picture did not come back\n" << Logs();
    std::printf("the picture came back %.1f s after the link\n", SecondsSince(restored));
}

// The kernel of this machine has no netem, so no delay can be added; 20 %
// of the UDP packets (all media and data-channel traffic) are dropped by an
// nftables rule instead. The rate goes into the log, not into an assertion.
TEST_F(Faults, PictureStaysUsableWithTwentyPercentLoss) {
    StartViewer("viewer", ViewerId, viewerDisplay);
    ASSERT_TRUE(Shows(viewerDisplay, Colours[0], 90s)) << Logs();
    if (RunCommand("tc qdisc add dev lo root netem delay 100ms loss 20% 2>&1").exitCode == 0) {
        RunCommand("tc qdisc del dev lo root");
        std::printf("netem is available here, yet this test drops packets with nftables only\n");
    } else {
        std::printf("netem is not available in this kernel: no delay added, loss only\n");
    }

    constexpr auto Period = 250ms;
    constexpr auto Duration = 20s;
    const int clean = ChangesShown(Period, Duration);
    const CommandResult rule = RunCommand(
        "nft add table inet faults && "
        "nft add chain inet faults out '{ type filter hook output priority 0; }' && "
        "nft add rule inet faults out meta l4proto udp numgen random mod 100 '<' 20 drop 2>&1");
    ASSERT_EQ(rule.exitCode, 0) << rule.output;
    const int lossy = ChangesShown(Period, Duration);
    const double made = std::chrono::duration<double>(Duration) / Period;
    std::printf(
        "picture changes shown: %d of %.0f (%.1f/s) on a clean link, %d of %.0f (%.1f/s) with 20%% of UDP "
        "packets dropped\n",
        clean, made, clean / 20.0, lossy, made, lossy / 20.0);
    EXPECT_GT(lossy, 0) << "no frame arrived under loss\n" << Logs();

    // Still a live picture at the end, not one that froze.
    ASSERT_TRUE(Fill(Colours[0]));
    EXPECT_TRUE(Shows(viewerDisplay, Colours[0], 30s)) << Logs();
}

}  // namespace
}  // namespace corvala::e2e
