// Host commands, chat, clipboard and voice between two copies of the
// program on two Xvfb displays, driven the way their users drive them: the
// viewer's toolbar and its "Control..." menu, the chat windows, the host's
// contact menu, the X clipboard.
//
// The host's session manager is a fake logind on a bus of the test's own
// (nothing reaches the machine's system bus); the viewer plays sound into a
// PulseAudio server of the test's own with a null sink, whose monitor the
// test records. The host's microphone is a tone file.

#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "E2eSupport.h"
#include "PrivateLogind.h"
#include "PrivatePulseAudio.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* ViewerId = "444555666";
constexpr const char* HostPassword = "secret7";
constexpr int Width = 1280, Height = 800;
// The viewer's window when not maximised, and the border drawn around it.
constexpr int Left = 40, Top = 60, WindowWidth = 1200, WindowHeight = 700;
constexpr int Border = 2;
constexpr unsigned long CaptionColour = 0x006ABA;
const unsigned long Quadrants[4] = {0xE02020, 0x20C020, 0x8020E0, 0xE0E020};

// Items of the "Control..." menu, counted from its top as the keyboard
// reaches them (separators are skipped).
enum MenuItem {
    CtrlAltDel = 1,
    AltTab,
    ShowCursor,
    TaskManager,
    MakeScreenshot,
    Monitor,
    LockPc,
    RebootPc,
    ShutdownPc
};

bool Near(unsigned long rgb, unsigned long want, int tolerance) {
    for (int shift : {16, 8, 0})
        if (std::abs(int((rgb >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

class Companions : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(signal.port(), 0);
        ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), Quadrants));
        WriteProgramSettings(scratch / "host" / "home", HostId, HostPassword);
        WriteProgramSettings(scratch / "viewer" / "home", ViewerId, {},
                             std::array<int, 4>{Left, Top, Left + WindowWidth, Top + WindowHeight});
        hostEnvironment = ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name());
        viewerEnvironment = ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name());
        for (auto* environment : {&hostEnvironment, &viewerEnvironment}) {
            (*environment)["QT_LOGGING_RULES"] = "corvala.control.debug=true";
            // No sound server unless a test gives one.
            (*environment)["PULSE_SERVER"] = "unix:" + (scratch / "no-sound-server").string();
        }
    }

    void Start() {
        host = std::make_unique<ChildProcess>(HostCommand(), hostEnvironment, scratch / "host.log");
        ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s))
            << host->Log();
        viewer = std::make_unique<ChildProcess>(ViewerCommand(HostId, HostPassword), viewerEnvironment,
                                                scratch / "viewer.log");
        ASSERT_TRUE(WaitFor([&] { return PictureShown(); }, 60s)) << Diagnostics();
    }

    // The host's top-left quadrant in the middle of the viewer's picture's
    // top-left quarter.
    bool PictureShown() {
        const auto pixel = ScreenPixel(viewerDisplay.name(), Left + WindowWidth / 4, Top + WindowHeight / 4 + 16);
        return pixel && Near(*pixel, Quadrants[0], 40);
    }

    std::string Diagnostics() {
        return "\nviewer messages:\n" + MessageLog(scratch / "viewer") + "\nviewer output:\n" + viewer->Log() +
               "\nhost messages:\n" + MessageLog(scratch / "host") + "\nhost output:\n" + host->Log();
    }

    void Screenshot(const XvfbDisplay& display, const char* name) {
        const char* folder = std::getenv("CORVALA_SCREENSHOT_DIR");
        if (!folder || !*folder) return;
        RunCommand("import -display " + display.name() + " -window root '" + std::string(folder) + "/" + name +
                   ".png'");
    }

    void Click(const XvfbDisplay& display, int x, int y) {
        RunCommand("DISPLAY=" + display.name() + " xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                   " sleep 0.2 click 1");
    }
    // Characters outside the keyboard map are typed through a key that
    // xdotool maps for each one: slowly, so that the program has seen the
    // new map before the key arrives.
    void Keys(const XvfbDisplay& display, const std::string& keys) {
        RunCommand("DISPLAY=" + display.name() + " xdotool " + keys);
    }

    // Types `line` into the chat window on `display` and sends it with
    // Enter; true once the receiving copy has logged it from `senderId`.
    bool SendChatLine(const XvfbDisplay& display, const WindowBox& chat, const std::string& line,
                      ChildProcess& receiver, const char* senderId) {
        Click(display, chat.x + 40, chat.y + 10);
        Keys(display, "type --delay 150 '" + line + "'");
        Keys(display, "key Return");
        const std::string logged = "chat line from " + std::string(senderId) + " : " + line;
        return WaitFor([&] { return receiver.Log().find(logged) != std::string::npos; }, 20s);
    }

    // The viewer's toolbar buttons, left to right: "File Transfer", "Send
    // Message...", "Speak...", "Control...", as the x of each one's middle.
    std::vector<int> ToolbarButtons() {
        const int y = Top + Border + 16;
        const auto row = ScreenRow(viewerDisplay.name(), 0, y, Width);
        std::vector<int> middles;
        for (const auto& [from, to] : PixelClusters(row, Left + Border, Left + WindowWidth / 2, CaptionColour, 10))
            middles.push_back((from + to) / 2);
        return middles;
    }

    // An item of the viewer's "Control..." menu, chosen with the keyboard.
    void ViewerControlCommand(MenuItem item) {
        const auto buttons = ToolbarButtons();
        ASSERT_GE(buttons.size(), 4u) << "the viewer's toolbar is not on its caption";
        Click(viewerDisplay, buttons[3], Top + Border + 16);
        std::string keys = "sleep 0.5";
        for (int i = 0; i < item; ++i) keys += " key Down";
        Keys(viewerDisplay, keys + " key Return");
    }

    ScratchFolder scratch{"companions"};
    ServerProcess signal{"crsignal", SignalServerArguments()};
    XvfbDisplay hostDisplay{Width, Height};
    XvfbDisplay viewerDisplay{Width, Height};
    std::map<std::string, std::string> hostEnvironment, viewerEnvironment;
    std::unique_ptr<ChildProcess> host, viewer;
};

// "Make Screenshot": the host's screen as screenshot.jpg, quality 98, on
// the host's clipboard and offered to the viewer, whose user picks the
// folder it goes to (the chooser starts in the home folder); what arrives
// there is compared with the host's screen.
TEST_F(Companions, ScreenshotOfTheHostsScreenArrivesAtTheViewer) {
    const std::filesystem::path home = scratch / "viewer-home";
    std::filesystem::create_directories(home);
    viewerEnvironment["HOME"] = home.string();
    // What the viewer opens at the end, written down instead of shown.
    WriteOpenRecorder(scratch / "viewer-bin", scratch / "viewer-opened.log");
    viewerEnvironment["PATH"] = (scratch / "viewer-bin").string() + ":" + std::getenv("PATH");
    Start();
    Screenshot(viewerDisplay, "companions-viewer");
    Screenshot(hostDisplay, "companions-host");
    ViewerControlCommand(MakeScreenshot);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(scratch / "host" / "received" / "screenshot.jpg"); }, 20s))
        << Diagnostics();
    std::optional<WindowBox> chooser;
    ASSERT_TRUE(WaitFor([&] { return (chooser = WindowGeometry(viewerDisplay.name(), "Receive File")).has_value(); },
                        20s))
        << "no folder chooser on the viewer's screen" << Diagnostics();
    std::this_thread::sleep_for(1s);
    const auto [okX, okY] = ChooserOkButton(*chooser);
    Click(viewerDisplay, okX, okY);
    const std::filesystem::path file = home / "screenshot.jpg";
    ASSERT_TRUE(WaitFor(
        [&] {
            std::ifstream opened(scratch / "viewer-opened.log");
            return std::filesystem::exists(file) && opened.good();
        },
        30s))
        << Diagnostics();
    QImage jpeg;
    ASSERT_TRUE(jpeg.load(QString::fromStdString(file.string()), "JPEG"));
    ASSERT_EQ(jpeg.size(), QSize(Width, Height));
    // A grid of pixels compared with the host's screen as it is now, away
    // from the edges where the JPEG's halved colour resolution blends.
    int compared = 0, matching = 0;
    for (int y = 45; y < Height; y += 50) {
        const auto row = ScreenRow(hostDisplay.name(), 0, y, Width);
        ASSERT_EQ(row.size(), std::size_t(Width));
        for (int x = 5; x < Width; x += 50, ++compared)
            if (Near(jpeg.pixel(x, y) & 0xFFFFFF, row[x], 6)) ++matching;
    }
    EXPECT_EQ(matching, compared);
    const auto targets = RunCommand("DISPLAY=" + hostDisplay.name() + " xclip -o -selection clipboard -t TARGETS");
    EXPECT_NE(targets.output.find("image/png"), std::string::npos) << targets.output;
}

// A chat line each way with text beyond ASCII: the viewer's "Send
// Message..." opens its chat window, the line arrives in the host's, which
// shows by itself, and the host's user answers from there.
TEST_F(Companions, ChatLineBothWays) {
    Start();
    const auto buttons = ToolbarButtons();
    ASSERT_GE(buttons.size(), 4u);
    Click(viewerDisplay, buttons[1], Top + Border + 16);
    std::optional<WindowBox> chat;
    ASSERT_TRUE(WaitFor([&] { return (chat = WindowGeometry(viewerDisplay.name(), "Chat")).has_value(); }, 10s))
        << Diagnostics();
    const std::string toHost =
        "Gr\xC3\xBC\xC3\x9F"
        "e, \xD0\xBC\xD0\xB8\xD1\x80 \xE2\x9C\x93";  // "Grüße, мир ✓"
    ASSERT_TRUE(SendChatLine(viewerDisplay, *chat, toHost, *host, ViewerId)) << Diagnostics();
    std::optional<WindowBox> hostChat;
    ASSERT_TRUE(WaitFor([&] { return (hostChat = WindowGeometry(hostDisplay.name(), "Chat")).has_value(); }, 10s))
        << "the host's chat window did not show";
    Screenshot(hostDisplay, "companions-host-chat");

    const std::string toViewer =
        "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1 \xC3\xA9t\xC3\xA9";  // "Καλημέρα été"
    EXPECT_TRUE(SendChatLine(hostDisplay, *hostChat, toViewer, *viewer, HostId)) << Diagnostics();
    Screenshot(viewerDisplay, "companions-viewer-chat");
}

// Text copied on the host lands on the viewer's clipboard and does not come
// back: the copying program on the host keeps its clipboard.
TEST_F(Companions, ClipboardTextReachesTheViewerAndIsNotEchoed) {
    Start();
    const std::string text = "copied on the host \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC";  // "— 日本"
    std::ofstream(scratch / "clip.txt") << text;
    // xclip owns the host's clipboard for as long as it runs.
    ChildProcess owner({"xclip", "-selection", "clipboard", "-quiet", "-i", (scratch / "clip.txt").string()},
                       {{"DISPLAY", hostDisplay.name()}}, scratch / "xclip.log");
    const auto viewerClipboard = [&](const char* selection) {
        return RunCommand("DISPLAY=" + viewerDisplay.name() + " timeout 5 xclip -o -selection " + selection +
                          " 2>/dev/null")
            .output;
    };
    ASSERT_TRUE(WaitFor([&] { return viewerClipboard("clipboard") == text; }, 20s))
        << viewerClipboard("clipboard") << Diagnostics();
    EXPECT_EQ(viewerClipboard("primary"), text) << "a middle click pastes it too";
    // Had the viewer sent it back, the host would have taken its clipboard.
    std::this_thread::sleep_for(3s);
    EXPECT_TRUE(owner.Running()) << "the host's clipboard changed hands";
    EXPECT_EQ(CountOccurrences(host->Log(), "clipboard text of"), 0) << Diagnostics();
    EXPECT_EQ(CountOccurrences(viewer->Log(), "clipboard text of"), 1) << Diagnostics();
}

// Lock, restart and power-off from the viewer's menu reach the host's
// session manager: the fake logind on the test's own bus hears them, and
// its LockSession locks the session, which the host then reports to the
// viewer as it does any lock.
TEST_F(Companions, SessionCommandsReachLogind) {
    PrivateLogind logind(scratch / "bus");
    ASSERT_TRUE(logind.Ready()) << logind.Log();
    hostEnvironment["DBUS_SYSTEM_BUS_ADDRESS"] = logind.BusAddress();
    Start();
    ViewerControlCommand(RebootPc);
    EXPECT_TRUE(WaitFor([&] { return logind.Log().find("Reboot interactive=0") != std::string::npos; }, 20s))
        << logind.Log() << Diagnostics();
    ViewerControlCommand(ShutdownPc);
    EXPECT_TRUE(WaitFor([&] { return logind.Log().find("PowerOff interactive=0") != std::string::npos; }, 20s))
        << logind.Log() << Diagnostics();
    ViewerControlCommand(LockPc);
    EXPECT_TRUE(WaitFor([&] { return logind.Log().find("LockSession 31") != std::string::npos; }, 20s))
        << logind.Log() << Diagnostics();
    EXPECT_TRUE(WaitFor(
        [&] { return MessageLog(scratch / "viewer").find("Status\tPlease wait...") != std::string::npos; }, 30s))
        << Diagnostics();
    EXPECT_EQ(MessageLog(scratch / "viewer").find("Warning"), std::string::npos) << Diagnostics();
}

// A host without a session manager or a magnifier answers that it cannot,
// and the viewer says so instead of nothing happening; likewise for
// Ctrl+Alt+Del away from the lock screen.
TEST_F(Companions, HostThatCannotTellsTheViewer) {
    std::filesystem::create_directories(scratch / "empty-path");
    hostEnvironment["PATH"] = (scratch / "empty-path").string();  // no magnifier on it
    Start();
    ViewerControlCommand(RebootPc);
    EXPECT_TRUE(WaitFor(
        [&] { return MessageLog(scratch / "viewer").find("could not be restarted") != std::string::npos; }, 20s))
        << Diagnostics();
    ViewerControlCommand(ShowCursor);
    EXPECT_TRUE(
        WaitFor([&] { return MessageLog(scratch / "viewer").find("no screen magnifier") != std::string::npos; }, 20s))
        << Diagnostics();
    // Ctrl+Alt+Del only on the lock screen: refused, and the viewer says why.
    ViewerControlCommand(CtrlAltDel);
    EXPECT_TRUE(WaitFor(
        [&] {
            return MessageLog(scratch / "viewer").find("Ctrl+Alt+Del can only be used on the Lock screen.") !=
                   std::string::npos;
        },
        20s))
        << Diagnostics();
}

// Voice: the viewer's "Speak..." asks the host, whose user has not opened
// the voice window yet: the viewer shows the no-voice notice. Once the
// host's user opens it from the contact menu, the host's microphone (a 1 kHz
// tone) is heard in the viewer's sound output; "Stop" silences it again.
TEST_F(Companions, ToneFromTheHostsMicrophoneIsHeardAtTheViewer) {
    PrivatePulseAudio sound(scratch / "pulse");
    ASSERT_TRUE(sound.Ready()) << sound.Log();
    WriteToneFile(scratch / "tone.wav", 1000, 180);
    hostEnvironment["CORVALA_MICROPHONE_FILE"] = (scratch / "tone.wav").string();
    viewerEnvironment["PULSE_SERVER"] = sound.ServerAddress();
    Start();
    const auto heard = [&] {
        const std::vector<short> samples = sound.Record(2s);
        return std::make_pair(RootMeanSquare(samples), ShareAtFrequency(samples, 1000));
    };
    auto [quiet, quietShare] = heard();
    EXPECT_LT(quiet, 200) << "sound before anybody spoke";

    const auto buttons = ToolbarButtons();
    ASSERT_GE(buttons.size(), 4u);
    Click(viewerDisplay, buttons[2], Top + Border + 16);
    // Its caption names the host as the recent connections list does ("Talk to PC (ID)").
    EXPECT_TRUE(WaitFor(
        [&] { return WindowGeometry(viewerDisplay.name(), "Talk to .*\\(" + std::string(HostId) + "\\)").has_value(); },
        10s))
        << Diagnostics();
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string messages = MessageLog(scratch / "viewer");
            return messages.find("speaking function is currently disabled on his side") != std::string::npos &&
                   messages.find("Select the \"Speak...\" item in the main menu of remote Corvala.") !=
                       std::string::npos;
        },
        20s))
        << Diagnostics();

    // The host's contact button is the second glyph right of its caption.
    const auto box = WindowGeometry(hostDisplay.name(), "Corvala");
    ASSERT_TRUE(box);
    const auto row = ScreenRow(hostDisplay.name(), 0, box->y + 20, Width);
    const auto glyphs = PixelClusters(row, box->x + 4, box->x + box->width, CaptionColour, 10);
    ASSERT_GE(glyphs.size(), 2u);
    const int info = (glyphs[0].first + glyphs[0].second) / 2, contact = (glyphs[1].first + glyphs[1].second) / 2;
    ASSERT_NEAR(contact - info, 37, 4) << "not the two buttons beside the caption";
    Click(hostDisplay, contact, box->y + 18);
    Keys(hostDisplay, "sleep 0.5 key Down key Down key Return");
    std::optional<WindowBox> hostVoice;
    ASSERT_TRUE(WaitFor(
        [&] { return (hostVoice = WindowGeometry(hostDisplay.name(), "Talk to Remote Users")).has_value(); }, 10s))
        << Diagnostics();
    Screenshot(hostDisplay, "companions-host-voice");

    double loud = 0, share = 0;
    // The first recording may hold the tone's onset or the decoder's first
    // concealed packets: what counts is that the tone itself arrives.
    EXPECT_TRUE(WaitFor([&] { return std::tie(loud, share) = heard(), loud > 1000 && share > 0.5; }, 30s))
        << "heard " << loud << " rms with " << share << " of it at 1 kHz";
    std::printf("voice: silence %.1f rms, tone %.1f rms with %.2f of it at 1 kHz\n", quiet, loud, share);

    // "Stop" on the host.
    Click(hostDisplay, hostVoice->x + hostVoice->width - 50, hostVoice->y + hostVoice->height - 39);
    EXPECT_TRUE(WaitFor([&] { return !WindowGeometry(hostDisplay.name(), "Talk to Remote Users").has_value(); }, 10s));
    EXPECT_TRUE(WaitFor([&] { return std::tie(quiet, quietShare) = heard(), quiet < 200; }, 30s)) << "heard " << quiet;
}

}  // namespace
}  // namespace corvala::e2e
