// The viewer drives the host: a click and key presses on the viewer's remote
// picture arrive on the host's display as real X events.

#include <gtest/gtest.h>


#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"
#include "XEventRecorder.h"

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* ViewerId = "444555666";

// The recorder's grey as the viewer shows it, after the video codec.
bool IsRecorderGrey(unsigned long rgb) {
    for (int shift : {16, 8, 0})
        if (std::abs(int((rgb >> shift) & 0xFF) - 0x80) > 6) return false;
    return true;
}

TEST(RemoteInput, ViewerClickAndKeysReachTheHost) {
    ScratchFolder scratch("input");
    ServerProcess signal("crsignal", SignalServerArguments());
    ASSERT_NE(signal.port(), 0);
    XvfbDisplay hostDisplay(1280, 800), viewerDisplay(1280, 800);
    WriteProgramSettings(scratch / "host" / "home", HostId, "secret7");
    WriteProgramSettings(scratch / "viewer" / "home", ViewerId);
    ChildProcess host(HostCommand(),
                      ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()), scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s));
    XEventRecorder recorder(hostDisplay.name(), 0x808080);
    ASSERT_TRUE(recorder.Ok());

    ChildProcess viewer(ViewerCommand(HostId, "secret7"),
                        ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()),
                        scratch / "viewer.log");
    // The recorder's grey fills the host's screen; once the viewer shows it,
    // the picture is live.
    const std::string viewerX = "DISPLAY=" + viewerDisplay.name() + " ";
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto pixel = ScreenPixel(viewerDisplay.name(), 640, 420);
            return pixel && IsRecorderGrey(*pixel);
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
