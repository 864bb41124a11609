// One host and two viewers, each a real copy on its own display, through
// crsignal over TLS: the host's connection log gets one line per viewer,
// newest first, in its file's format; the caption's information button
// opens the live connections, and "Disconnect Selected" on one line ends
// that viewer's session only, for good (it is not admitted again by
// itself), while the window stays open.
//
// With CORVALA_SCREENSHOT_DIR set it also writes host-connections.png there.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* FirstViewer = "400000001";
constexpr const char* SecondViewer = "400000002";
constexpr const char* Password = "secretH1";
constexpr unsigned long CaptionColour = 0x006ABA;
constexpr int Border = 2;

// The information button's circle across the caption's middle row: wider
// than a digit or a stroke of the contact glyph, narrower than a word.
constexpr int InfoGlyphMin = 9, InfoGlyphMax = 16;

// The words and glyphs along the caption's middle row.
std::vector<std::pair<int, int>> CaptionGroups(const std::string& display, const WindowBox& box) {
    const auto row = ScreenRow(display, 0, box.y + Border + 16, box.x + box.width);
    return PixelClusters(row, box.x + Border + 4, box.x + box.width - Border, CaptionColour, 7);
}

void Click(const std::string& display, int x, int y) {
    RunCommand("DISPLAY=" + display + " xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

TEST(Connections, LiveConnectionsDisconnectOneOfTwoViewers) {
    ScratchFolder scratch("connections");
    ServerProcess signal("crsignal", SignalServerArguments());
    ASSERT_NE(signal.port(), 0);
    XvfbDisplay hostDisplay(1280, 800), firstDisplay(1024, 700), secondDisplay(1024, 700);
    WriteProgramSettings(scratch / "host" / "home", HostId, Password);
    WriteProgramSettings(scratch / "v1" / "home", FirstViewer);
    WriteProgramSettings(scratch / "v2" / "home", SecondViewer);
    ChildProcess host(HostCommand(), ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()),
                      scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s)) << host.Log();
    const auto logFile = scratch / "host" / "home" / "log.txt";
    const auto logText = [&] { return ReadWholeFile(logFile); };
    const auto diagnostics = [&] {
        return "\nhost log.txt:\n" + logText() + "\nhost output:\n" + host.Log() + "\nfirst viewer messages:\n" +
               MessageLog(scratch / "v1") + "\nsecond viewer messages:\n" + MessageLog(scratch / "v2");
    };

    ChildProcess first(ViewerCommand(HostId, Password),
                       ProgramEnvironment(scratch / "v1", signal.port(), firstDisplay.name()), scratch / "v1.log");
    ASSERT_TRUE(WaitFor([&] { return logText().find(FirstViewer) != std::string::npos; }, 60s)) << diagnostics();
    ChildProcess second(ViewerCommand(HostId, Password),
                        ProgramEnvironment(scratch / "v2", signal.port(), secondDisplay.name()), scratch / "v2.log");
    ASSERT_TRUE(WaitFor([&] { return logText().find(SecondViewer) != std::string::npos; }, 60s)) << diagnostics();

    // "log.txt": byte-order mark, CR LF, the later connection on top.
    const std::string log = logText();
    ASSERT_EQ(log.rfind("\xEF\xBB\xBF", 0), 0u) << diagnostics();
    EXPECT_EQ(CountOccurrences(log, "\r\n"), 2) << diagnostics();
    EXPECT_EQ(CountOccurrences(log, "Incoming connection from "), 2) << diagnostics();
    EXPECT_LT(log.find(std::string("(") + SecondViewer + ")\r\n"), log.find(std::string("(") + FirstViewer + ")\r\n"));

    // The host's collapsed caption: its text, then the information button,
    // the first glyph as wide as its circle.
    std::optional<WindowBox> hostWindow;
    ASSERT_TRUE(WaitFor(
        [&] {
            hostWindow = WindowGeometry(hostDisplay.name(), "Corvala");
            return hostWindow && hostWindow->height < 60 && CaptionGroups(hostDisplay.name(), *hostWindow).size() >= 3;
        },
        20s))
        << "the host's caption never showed its connection buttons" << diagnostics();
    const auto groups = CaptionGroups(hostDisplay.name(), *hostWindow);
    const auto info = std::find_if(groups.begin(), groups.end(), [](const std::pair<int, int>& g) {
        return g.second - g.first >= InfoGlyphMin && g.second - g.first <= InfoGlyphMax;
    });
    ASSERT_NE(info, groups.end()) << "no information glyph on the host's caption";
    const int infoX = (info->first + info->second) / 2;
    Click(hostDisplay.name(), infoX, hostWindow->y + Border + 16);
    std::optional<WindowBox> connections;
    ASSERT_TRUE(
        WaitFor([&] { return (connections = WindowGeometry(hostDisplay.name(), "Connections")).has_value(); }, 15s))
        << "the information button opened no Connections window" << diagnostics();

    // The lines follow the viewers' IDs; the first line is the first viewer.
    // Select it, then "Disconnect Selected" (left of "Close").
    const int listTop = connections->y + Border + 30 + 33;
    Click(hostDisplay.name(), connections->x + 60, listTop + 9);
    if (const char* folder = std::getenv("CORVALA_SCREENSHOT_DIR"); folder && *folder)
        RunCommand("import -display " + hostDisplay.name() + " -window root '" + folder + "/host-connections.png'");
    const auto noSignal = [&](const char* viewer) {
        return CountOccurrences(MessageLog(scratch / viewer), "Status\tNo signal.\n");
    };
    const int firstLost = noSignal("v1"), secondLost = noSignal("v2");
    const int buttonsY = connections->y + connections->height - Border - 41 / 2;
    Click(hostDisplay.name(), connections->x + connections->width - Border - 8 - 86 - 6 - 25, buttonsY);

    EXPECT_TRUE(WaitFor([&] { return noSignal("v1") > firstLost; }, 30s))
        << "the first viewer did not lose its session" << diagnostics();
    EXPECT_EQ(VisibleWindowCount(hostDisplay.name(), "Connections"), 1) << "the window closed";

    // Several renewal periods later: the ended viewer was not admitted again,
    // and the other one never lost its picture.
    std::this_thread::sleep_for(10s);
    EXPECT_EQ(CountOccurrences(logText(), "Incoming connection from "), 2) << diagnostics();
    EXPECT_EQ(noSignal("v2"), secondLost) << diagnostics();
    EXPECT_TRUE(first.Running() && second.Running() && host.Running());
}

}  // namespace
}  // namespace corvala::e2e
