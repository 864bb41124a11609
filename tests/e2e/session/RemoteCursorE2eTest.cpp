// The host's cursor shape follows to the viewer: a window on the host's
// screen shows named cursors under the host's pointer, and the viewer's
// pointer over the remote picture takes the matching local shape.

#include <gtest/gtest.h>

#include <X11/cursorfont.h>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"
#include "XCursorProbe.h"
#include "screen/CursorShapes.h"

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* ViewerId = "444555666";
constexpr unsigned long Teal = 0x208080;

TEST(RemoteCursor, ViewerPointerTakesTheHostsCursorShape) {
    ScratchFolder scratch("cursor");
    ServerProcess signal("crsignal", SignalServerArguments());
    ASSERT_NE(signal.port(), 0);
    XvfbDisplay hostDisplay(1280, 800), viewerDisplay(1280, 800);
    WriteProgramSettings(scratch / "host" / "home", HostId, "secret7");
    WriteProgramSettings(scratch / "viewer" / "home", ViewerId);
    CursorWindow hostWindow(hostDisplay.name(), Teal);
    ASSERT_TRUE(hostWindow.Ok());
    hostWindow.SetCursor("left_ptr", XC_left_ptr);
    ChildProcess host(HostCommand(),
                      ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()), scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s));
    ChildProcess viewer(ViewerCommand(HostId, "secret7"),
                        ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()),
                        scratch / "viewer.log");
    std::vector<int> counts;
    ASSERT_TRUE(WaitFor([&] { return (counts = ScreenColourCounts(viewerDisplay.name(), {Teal}, 16))[0] > 50000; }, 60s))
        << counts[0] << viewer.Log() << MessageLog(scratch / "viewer");

    // The viewer's pointer over the top left of the picture; the host's
    // pointer follows it there, over the test's window and away from the
    // host's own window in the middle.
    RunCommand("DISPLAY=" + viewerDisplay.name() + " xdotool mousemove 400 280 sleep 0.2 mousemove 405 285");
    std::optional<PointerCursor> arrow;
    ASSERT_TRUE(WaitFor([&] { return (arrow = CurrentCursor(viewerDisplay.name())).has_value(); }, 10s));

    struct Case {
        const char* hostName;
        unsigned glyph;
        int code;
    } cases[] = {{"hand2", XC_hand2, 12}, {"xterm", XC_xterm, 2}, {"left_ptr", XC_left_ptr, 1}};
    std::optional<PointerCursor> previous = arrow;
    for (const Case& c : cases) {
        hostWindow.SetCursor(c.hostName, c.glyph);
        std::optional<PointerCursor> shown;
        const bool changed = WaitFor(
            [&] {
                shown = CurrentCursor(viewerDisplay.name());
                return shown && !shown->SamePicture(*previous);
            },
            20s);
        EXPECT_TRUE(changed) << "the viewer's cursor did not follow the host's " << c.hostName;
        if (!changed) continue;
        // Back on the arrow, the very shape of the start; every other shape
        // differs from it. A themed cursor also carries its name.
        EXPECT_EQ(shown->SamePicture(*arrow), c.code == 1) << c.hostName;
        if (!shown->name.empty()) {
            EXPECT_EQ(CursorCodeForName(shown->name), c.code) << shown->name;
        }
        previous = shown;
    }
}

}  // namespace
}  // namespace corvala::e2e
