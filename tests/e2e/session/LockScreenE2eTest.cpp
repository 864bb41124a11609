// A host whose session is locked and unlocked while a viewer watches: the
// viewer shows "Please wait..." and reconnects by itself each time. While
// locked, the host streams its desktop copy window, mapped but kept off its
// screen; after the unlock that window is gone and the screen itself is
// streamed again. Input sent while locked reaches the host through
// the capture thread. A host started while locked uses its copy window from
// the first connection on. The lock comes through the real seam: logind's
// Lock and Unlock signals on a bus of the test's own.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "E2eSupport.h"
#include "PrivateLogind.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"
#include "XEventRecorder.h"

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* ViewerId = "444555666";
constexpr const char* HostPassword = "secret7";
constexpr int Width = 1280, Height = 800;
// The host's desktop background before and after a repaint made while the
// session is locked; none of them near the colours of the viewer's window.
const std::vector<unsigned long> Before = {0xE02020, 0x20C020, 0x8020E0, 0xE0E020};
const std::vector<unsigned long> After = {0x20E0E0, 0xE020E0, 0xF09020, 0x804020};
constexpr unsigned long Grey = 0x808080;

bool AllAbove(const std::vector<int>& counts, int n) {
    return !counts.empty() && std::all_of(counts.begin(), counts.end(), [n](int c) { return c > n; });
}
bool AllBelow(const std::vector<int>& counts, int n) {
    return !counts.empty() && std::all_of(counts.begin(), counts.end(), [n](int c) { return c < n; });
}
std::string Text(const std::vector<int>& counts) {
    std::ostringstream out;
    for (int c : counts) out << c << ' ';
    return out.str();
}

class LockScreen : public ::testing::Test {
protected:
    // `locked`: the host starts while its session is locked.
    void StartHostAndViewer(bool locked = false) {
        ASSERT_NE(signal.port(), 0);
        logind = std::make_unique<PrivateLogind>(scratch / "bus", locked);
        ASSERT_TRUE(logind->Ready()) << logind->Log();
        ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), before));
        WriteProgramSettings(scratch / "host" / "home", HostId, HostPassword);
        WriteProgramSettings(scratch / "viewer" / "home", ViewerId);
        auto hostEnvironment = ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name());
        hostEnvironment["DBUS_SYSTEM_BUS_ADDRESS"] = logind->BusAddress();
        host = std::make_unique<ChildProcess>(HostCommand(), hostEnvironment, scratch / "host.log");
        ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s))
            << host->Log();
        viewer = std::make_unique<ChildProcess>(
            ViewerCommand(HostId, HostPassword),
            ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()), scratch / "viewer.log");
    }

    std::string Diagnostics() {
        return "\nviewer messages:\n" + MessageLog(scratch / "viewer") + "\nviewer output:\n" + viewer->Log() +
               "\nhost output:\n" + host->Log() + "\nlogind:\n" + logind->Log();
    }
    // Waits until the viewer's screen shows every colour of `picture` widely.
    bool ViewerShows(const std::vector<unsigned long>& picture, std::vector<int>& counts) {
        return WaitFor([&] { return AllAbove(counts = ScreenColourCounts(viewerDisplay.name(), picture), 2000); }, 90s);
    }
    int StatusLines(const std::string& text) { return CountOccurrences(MessageLog(scratch / "viewer"), "Status\t" + text + "\n"); }

    ScratchFolder scratch{"lockscreen"};
    ServerProcess signal{"crsignal", SignalServerArguments()};
    std::unique_ptr<PrivateLogind> logind;
    XvfbDisplay hostDisplay{Width, Height};
    XvfbDisplay viewerDisplay{Width, Height};
    std::unique_ptr<ChildProcess> host, viewer;
    const unsigned long before[4] = {Before[0], Before[1], Before[2], Before[3]};
};

TEST_F(LockScreen, ViewerWaitsAndReconnectsAcrossLockAndUnlock) {
    StartHostAndViewer();
    std::vector<int> counts;
    ASSERT_TRUE(ViewerShows(Before, counts)) << Text(counts) << Diagnostics();
    ASSERT_EQ(MappedWindowsCovering(hostDisplay.name(), Width, Height), 0);

    // Lock: the viewer is told to wait, its picture goes...
    ASSERT_TRUE(logind->Lock()) << logind->Log();
    EXPECT_TRUE(WaitFor([&] { return StatusLines("Please wait...") == 1; }, 30s)) << Diagnostics();
    EXPECT_TRUE(WaitFor([&] { return AllBelow(counts = ScreenColourCounts(viewerDisplay.name(), Before), 200); }, 30s))
        << Text(counts);
    // ...and comes back by itself once the host has shown its copy window.
    EXPECT_TRUE(WaitFor([&] { return MappedWindowsCovering(hostDisplay.name(), Width, Height) == 1; }, 60s))
        << Diagnostics();
    EXPECT_TRUE(ViewerShows(Before, counts)) << Text(counts) << Diagnostics();
    EXPECT_EQ(StatusLines("No signal."), 0);

    // The copy window is kept off the host's screen: a new background shows
    // there at once, and reaches the viewer through the window's copies.
    const unsigned long after[4] = {After[0], After[1], After[2], After[3]};
    ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), after));
    EXPECT_TRUE(AllAbove(ScreenColourCounts(hostDisplay.name(), After), 50000));
    EXPECT_TRUE(ViewerShows(After, counts)) << Text(counts) << Diagnostics();

    // Input is deferred to the capture thread while locked, and still
    // arrives: a window on the host's screen records it.
    {
        XEventRecorder recorder(hostDisplay.name(), Grey);
        ASSERT_TRUE(recorder.Ok());
        EXPECT_TRUE(WaitFor([&] { return AllAbove(counts = ScreenColourCounts(viewerDisplay.name(), {Grey}, 8), 50000); },
                            60s))
            << Text(counts);
        const std::string viewerX = "DISPLAY=" + viewerDisplay.name() + " ";
        RunCommand(viewerX + "xdotool mousemove 640 420 click 1");
        EXPECT_TRUE(WaitFor([&] { return !recorder.Clicks().empty(); }, 20s)) << "no click reached the locked host";
        RunCommand(viewerX + "xdotool type --delay 50 'locked'");
        EXPECT_TRUE(WaitFor([&] { return recorder.Typed() == "locked"; }, 20s)) << "typed: " << recorder.Typed();
    }

    // Unlock: the copy window closes, the viewer waits again and then shows
    // the screen itself.
    ASSERT_TRUE(logind->Unlock()) << logind->Log();
    EXPECT_TRUE(WaitFor([&] { return StatusLines("Please wait...") == 2; }, 30s)) << Diagnostics();
    EXPECT_TRUE(WaitFor([&] { return MappedWindowsCovering(hostDisplay.name(), Width, Height) == 0; }, 30s));
    ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), before));
    EXPECT_TRUE(ViewerShows(Before, counts)) << Text(counts) << Diagnostics();
    EXPECT_EQ(StatusLines("No signal."), 0);
    EXPECT_TRUE(host->Running());
    EXPECT_TRUE(viewer->Running());
}

// A host started before anybody has logged on streams through its copy
// window from the first connection on, and leaves it at the logon.
TEST_F(LockScreen, HostStartedLockedStreamsItsCopyWindowFromTheStart) {
    StartHostAndViewer(/*locked=*/true);
    std::vector<int> counts;
    EXPECT_TRUE(WaitFor([&] { return MappedWindowsCovering(hostDisplay.name(), Width, Height) == 1; }, 60s))
        << Diagnostics();
    ASSERT_TRUE(ViewerShows(Before, counts)) << Text(counts) << Diagnostics();

    ASSERT_TRUE(logind->Unlock()) << logind->Log();
    EXPECT_TRUE(WaitFor([&] { return StatusLines("Please wait...") == 1; }, 30s)) << Diagnostics();
    EXPECT_TRUE(WaitFor([&] { return MappedWindowsCovering(hostDisplay.name(), Width, Height) == 0; }, 30s));
    const unsigned long after[4] = {After[0], After[1], After[2], After[3]};
    ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), after));
    EXPECT_TRUE(ViewerShows(After, counts)) << Text(counts) << Diagnostics();
    EXPECT_EQ(StatusLines("No signal."), 0);
}

}  // namespace
}  // namespace corvala::e2e
