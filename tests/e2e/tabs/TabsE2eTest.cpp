// One viewer and two hosts on three displays: a tab per host, a real click
// on a tab switches the picture and the input target, a double click on the
// tab strip maximises and restores, full screen shows its floating menu, and
// closing a tab ends that session only.
//
// With CORVALA_SCREENSHOT_DIR set it also writes viewer-layout.png,
// viewer-maximised.png and viewer-fullscreen-menu.png there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"
#include "XEventRecorder.h"

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostA = "111222333";
constexpr const char* HostB = "777888999";
constexpr const char* ViewerId = "444555666";
constexpr unsigned long Red = 0xC02828;
constexpr unsigned long Blue = 0x2838C0;
constexpr unsigned long Green = 0x28B040;
constexpr unsigned long White = 0xFFFFFF;
constexpr unsigned long CaptionColour = 0x006ABA;
// The viewer's window when not maximised, and the border drawn around it.
constexpr int Left = 40, Top = 60, Width = 1200, Height = 700;
constexpr int Border = 2;

// The colour as the viewer shows it after the video codec.
bool Near(unsigned long rgb, unsigned long want, int tolerance = 40) {
    for (int shift : {16, 8, 0})
        if (std::abs(int((rgb >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

// The viewer's screen as the user sees it.
class ViewerScreen {
public:
    explicit ViewerScreen(const XvfbDisplay& display) : display_(display.name()) {}

    std::optional<WindowBox> Window() const { return WindowGeometry(display_, "Corvala"); }

    bool Shows(unsigned long colour) const {
        const auto box = Window();
        if (!box) return false;
        const auto pixel = ScreenPixel(display_, box->x + box->width / 2, box->y + box->height / 2 + 16);
        return pixel && Near(*pixel, colour);
    }

    // The active tab's extent on the caption row just below the tabs' angled
    // tops and above their captions: the longest white run.
    std::optional<std::pair<int, int>> ActiveTab() const {
        const auto box = Window();
        if (!box) return std::nullopt;
        const auto row = ScreenRow(display_, 0, box->y + Border + 7, 1280);
        int bestStart = -1, bestLength = 0;
        for (int x = 0; x < int(row.size());) {
            if (row[x] != White) {
                ++x;
                continue;
            }
            int end = x;
            while (end < int(row.size()) && row[end] == White) ++end;
            if (end - x > bestLength) bestStart = x, bestLength = end - x;
            x = end;
        }
        if (bestLength < 40) return std::nullopt;
        return std::make_pair(bestStart, bestStart + bestLength - 1);
    }

    // The middle row of the caption bar, where tabs and buttons are clicked.
    int CaptionMiddle() const { return Window()->y + Border + 16; }

    void Click(int x, int y, int times = 1) const {
        RunCommand("DISPLAY=" + display_ + " xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                   " click --repeat " + std::to_string(times) + " --delay 120 1");
    }
    void MovePointer(int x, int y) const {
        RunCommand("DISPLAY=" + display_ + " xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
    }
    void ClickPicture() const {
        const auto box = Window();
        Click(box->x + box->width / 2, box->y + box->height / 2 + 16);
    }

    void Screenshot(const char* name) const {
        const char* folder = std::getenv("CORVALA_SCREENSHOT_DIR");
        if (!folder || !*folder) return;
        RunCommand("import -display " + display_ + " -window root '" + std::string(folder) + "/" + name + ".png'");
    }

    const std::string& Name() const { return display_; }

private:
    std::string display_;
};

bool HasBounds(const std::optional<WindowBox>& box, int x, int y, int width, int height) {
    return box && box->x == x && box->y == y && box->width == width && box->height == height;
}

TEST(Tabs, TwoHostsInTwoTabsOfOneViewer) {
    ScratchFolder scratch("tabs");
    ServerProcess signal("crsignal", SignalServerArguments());
    ASSERT_NE(signal.port(), 0);
    XvfbDisplay displayA(1280, 800), displayB(1280, 800), viewerDisplay(1280, 800);
    WriteProgramSettings(scratch / "a" / "home", HostA, "secretA1");
    WriteProgramSettings(scratch / "b" / "home", HostB, "secretB2");
    WriteProgramSettings(scratch / "viewer" / "home", ViewerId, {},
                         std::array<int, 4>{Left, Top, Left + Width, Top + Height});
    const std::string cr = (BinFolder() / "cr").string();
    ChildProcess hostA(HostCommand(), ProgramEnvironment(scratch / "a", signal.port(), displayA.name()),
                       scratch / "a.log");
    ChildProcess hostB(HostCommand(), ProgramEnvironment(scratch / "b", signal.port(), displayB.name()),
                       scratch / "b.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostA, PkiFile("ca.pem")); }, 30s));
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostB, PkiFile("ca.pem")); }, 30s));
    XEventRecorder recorderA(displayA.name(), Red);
    auto recorderB = std::make_unique<XEventRecorder>(displayB.name(), Blue);
    ASSERT_TRUE(recorderA.Ok() && recorderB->Ok());
    const auto hostWindowHeight = [&] {
        const auto box = WindowGeometry(displayA.name(), "Corvala");
        return box ? box->height : -1;
    };
    const int expandedHeight = hostWindowHeight();
    ASSERT_GT(expandedHeight, 100);

    const auto viewerEnvironment = ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name());
    ChildProcess viewer(ViewerCommand(HostA, "secretA1"), viewerEnvironment,
                        scratch / "viewer.log");
    ViewerScreen screen(viewerDisplay);
    ASSERT_TRUE(WaitFor([&] { return screen.Shows(Red); }, 60s)) << viewer.Log() << MessageLog(scratch / "viewer");
    EXPECT_TRUE(HasBounds(screen.Window(), Left, Top, Width, Height));
    // An admitted viewer collapses the host's window to its caption bar.
    EXPECT_TRUE(WaitFor([&] { return hostWindowHeight() < 60; }, 10s)) << hostWindowHeight();

    // No password where other users read it: not on the viewer's command
    // line, and gone from its environment once read.
    EXPECT_EQ(viewer.ProcFile("cmdline").find("secretA1"), std::string::npos);
    EXPECT_EQ(viewer.ProcFile("environ").find("secretA1"), std::string::npos);
    EXPECT_NE(viewer.ProcFile("cmdline").find(HostA), std::string::npos) << "no process files read";

    // The second host through the running copy (which only a start without
    // "/from_application" looks for), the password typed on standard input
    // and handed over through the instance channel: a second tab, selected.
    ChildProcess second(Command{{cr, "--connect", HostB, "--password-stdin"}, {}, "secretB2\n"}, viewerEnvironment,
                        scratch / "second.log");
    EXPECT_EQ(second.Wait(30s), 0) << second.Log();
    ASSERT_TRUE(WaitFor([&] { return screen.Shows(Blue); }, 60s)) << viewer.Log() << MessageLog(scratch / "viewer");
    EXPECT_EQ(viewer.ProcFile("environ").find("secretB2"), std::string::npos);
    screen.Screenshot("viewer-layout");

    // A real click on the first tab: host A's picture, and input to host A only.
    auto active = screen.ActiveTab();
    ASSERT_TRUE(active) << "no active tab on the viewer's caption";
    screen.Click(active->first - 45, screen.CaptionMiddle());
    ASSERT_TRUE(WaitFor([&] { return screen.Shows(Red); }, 20s)) << "the first tab did not bring host A back";
    screen.ClickPicture();
    ASSERT_TRUE(WaitFor([&] { return !recorderA.Clicks().empty(); }, 20s)) << "the click did not reach host A";
    EXPECT_TRUE(recorderB->Clicks().empty()) << "a click for host A reached host B";

    // A double click on the strip's free room toggles the work area and back.
    active = screen.ActiveTab();
    ASSERT_TRUE(active);
    screen.Click(active->second + 250, screen.CaptionMiddle(), 2);
    ASSERT_TRUE(WaitFor([&] { return HasBounds(screen.Window(), 0, 0, 1280, 800); }, 10s));
    screen.Screenshot("viewer-maximised");
    active = screen.ActiveTab();
    ASSERT_TRUE(active);
    screen.Click(active->second + 250, screen.CaptionMiddle(), 2);
    ASSERT_TRUE(WaitFor([&] { return HasBounds(screen.Window(), Left, Top, Width, Height); }, 10s));

    // Full screen: the caption goes; the floating menu drops in at the top.
    screen.Click(Left + Width - Border - 37 - 18, screen.CaptionMiddle());
    ASSERT_TRUE(WaitFor([&] { return HasBounds(screen.Window(), 0, 0, 1280, 800); }, 10s));
    EXPECT_FALSE(screen.ActiveTab()) << "the caption bar is still shown in full screen";
    screen.MovePointer(640, 300);
    screen.MovePointer(640, 2);
    const auto menuShown = [&] {
        const auto pixel = ScreenPixel(screen.Name(), 1280 - 2 * 37 + 3, 2);
        return pixel && *pixel == CaptionColour;
    };
    ASSERT_TRUE(WaitFor(menuShown, 10s)) << "no floating menu at the top";
    screen.Screenshot("viewer-fullscreen-menu");
    screen.Click(1280 - 18, 15);  // leave full screen
    ASSERT_TRUE(WaitFor([&] { return HasBounds(screen.Window(), Left, Top, Width, Height); }, 10s));

    // Closing host A's tab: host A's session ends, host B's goes on.
    active = screen.ActiveTab();
    ASSERT_TRUE(active);
    const auto row = ScreenRow(screen.Name(), 0, screen.CaptionMiddle(), 1280);
    int closeButton = active->second;
    while (closeButton > active->first && row[closeButton] == White) --closeButton;
    ASSERT_GT(closeButton, active->first + 20) << "no close button on the active tab";
    screen.Click(closeButton - 3, screen.CaptionMiddle());
    EXPECT_TRUE(WaitFor([&] { return hostWindowHeight() == expandedHeight; }, 20s))
        << "host A still shows a connected viewer: " << hostWindowHeight();
    ASSERT_TRUE(WaitFor([&] { return screen.Shows(Blue); }, 20s)) << "host B's tab is not shown";
    recorderB.reset();
    XEventRecorder recorderB2(displayB.name(), Green);
    ASSERT_TRUE(recorderB2.Ok());
    EXPECT_TRUE(WaitFor([&] { return screen.Shows(Green); }, 20s)) << "host B's picture no longer updates";
    const auto clicksOnA = recorderA.Clicks().size();
    screen.ClickPicture();
    EXPECT_TRUE(WaitFor([&] { return !recorderB2.Clicks().empty(); }, 20s)) << "the click did not reach host B";
    EXPECT_EQ(recorderA.Clicks().size(), clicksOnA);
}

}  // namespace
}  // namespace corvala::e2e
