// File transfer between two real copies of the program on two displays,
// driven by real clicks: the viewer's "Send File..." and "Receive File..." of
// folder trees with non-ASCII names arrive byte for byte, with their empty
// folders, and the receiving side opens its destination; a viewer killed in
// the middle of a file leaves no partial file at the host, which takes the
// next viewer.
//
// The choosers start in the user's home folder (HOME, a scratch folder per
// copy); the host's windows are clicked on the host's display, as its user
// or the viewer's user through the picture would. A stand-in "xdg-open" on
// PATH writes down what the program opens. With CORVALA_SCREENSHOT_DIR set
// the test also writes file-chooser.png, folder-chooser.png and
// transfer-window.png there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"

namespace corvala::e2e {
namespace {

namespace fs = std::filesystem;
using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* ViewerId = "444555666";
constexpr const char* SecondViewerId = "777888999";
constexpr const char* HostPassword = "secret7";
constexpr unsigned long Wallpaper[4] = {0x3060A0, 0x3060A0, 0x3060A0, 0x3060A0};
// The viewer's window, and its border.
constexpr int Left = 40, Top = 40, Width = 1200, Height = 720, Border = 2;
// The choosers' layout (src/dialogs): caption, prompt line, the tree's
// width and the splitter.
constexpr int CaptionHeight = 32, PromptHeight = 33, TreeWidth = 185, Splitter = 5;
// The middle of the item list's first row, below its column titles.
constexpr int FirstRow = 26;

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(random());
    return bytes;
}

// Every file (with its bytes) and folder below `root`, by relative path.
std::set<std::string> TreeOf(const fs::path& root) {
    std::set<std::string> entries;
    if (!fs::exists(root)) return entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        entries.insert(entry.is_directory()
                           ? name + "/"
                           : name + " " + std::to_string(std::hash<std::string>{}(ReadWholeFile(entry.path()))));
    }
    return entries;
}

// One copy's screen, clicked and typed on as its user would.
class Screen {
public:
    explicit Screen(const XvfbDisplay& display) : FDisplay(display.name()) {}

    void Click(int x, int y) const {
        RunCommand(Prefix() + "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    }
    void Keys(const std::string& keys) const { RunCommand(Prefix() + "xdotool key --delay 150 " + keys); }

    std::optional<WindowBox> WaitForWindow(const std::string& title, std::chrono::seconds timeout = 20s) const {
        std::optional<WindowBox> box;
        WaitFor([&] { return (box = WindowGeometry(FDisplay, title)).has_value(); }, timeout);
        return box;
    }
    bool Gone(const std::string& title) const {
        return WaitFor([&] { return !WindowGeometry(FDisplay, title); }, 20s);
    }

    // The file chooser: its first item, then OK. The item list shows the
    // home folder's items once the model has read them.
    void ChooseFirstItem(const WindowBox& box) const {
        std::this_thread::sleep_for(1500ms);
        Click(box.x + Border + TreeWidth + Splitter + 60, box.y + CaptionHeight + PromptHeight + FirstRow);
        std::this_thread::sleep_for(300ms);
    }
    void PressOk(const WindowBox& box) const {
        const auto [x, y] = ChooserOkButton(box);
        Click(x, y);
    }

    void Screenshot(const char* name) const {
        const char* folder = std::getenv("CORVALA_SCREENSHOT_DIR");
        if (!folder || !*folder) return;
        RunCommand("import -display " + FDisplay + " -window root '" + std::string(folder) + "/" + name + ".png'");
    }

    const std::string& Name() const { return FDisplay; }

private:
    std::string Prefix() const { return "DISPLAY=" + FDisplay + " "; }
    std::string FDisplay;
};

class Transfer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(signal.port(), 0);
        ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), Wallpaper));
        // What the program opens, written down instead of shown.
        for (const std::string side : {"host", "viewer", "second"})
            WriteOpenRecorder(scratch / (side + "-path"), scratch / (side + "-opened.log"));
        WriteProgramSettings(scratch / "host" / "home", HostId, HostPassword);
        host = std::make_unique<ChildProcess>(HostCommand(), Environment("host", hostDisplay), scratch / "host.log");
        ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s))
            << host->Log();
    }

    std::map<std::string, std::string> Environment(const std::string& side, const XvfbDisplay& display) {
        auto environment = ProgramEnvironment(scratch / side, signal.port(), display.name());
        environment["HOME"] = Home(side).string();
        environment["PATH"] = (scratch / (side + "-path")).string() + ":" + std::getenv("PATH");
        fs::create_directories(Home(side));
        return environment;
    }
    fs::path Home(const std::string& side) const { return scratch / (side + "-home"); }
    std::string Opened(const std::string& side) const { return ReadWholeFile(scratch / (side + "-opened.log")); }

    // A viewer connected and showing the host's wallpaper.
    std::unique_ptr<ChildProcess> StartViewer(const std::string& side, const char* id, const XvfbDisplay& display) {
        WriteProgramSettings(scratch / side / "home", id, {},
                             std::array<int, 4>{Left, Top, Left + Width, Top + Height});
        auto viewer = std::make_unique<ChildProcess>(ViewerCommand(HostId, HostPassword), Environment(side, display),
                                                     scratch / (side + ".log"));
        const bool shows = WaitFor(
            [&] {
                const auto pixel = ScreenPixel(display.name(), Left + Width / 2, Top + Height / 2);
                return pixel && std::abs(int(*pixel & 0xFF) - 0xA0) < 40 && std::abs(int(*pixel >> 16) - 0x30) < 40;
            },
            60s);
        EXPECT_TRUE(shows) << viewer->Log() << MessageLog(scratch / side);
        return viewer;
    }

    // The viewer's toolbar: "File Transfer", then the item `downs` rows down.
    void FileTransferMenu(const Screen& screen, int downs) {
        screen.Click(Left + Border + 10 + 30, Top + Border + 15);
        std::this_thread::sleep_for(500ms);
        std::string keys;
        for (int i = 0; i < downs; ++i) keys += "Down ";
        screen.Keys(keys + "Return");
    }

    int HostWindowHeight() const {
        const auto box = WindowGeometry(hostDisplay.name(), "Corvala");
        return box ? box->height : -1;
    }

    ScratchFolder scratch{"transfer"};
    ServerProcess signal{"crsignal", SignalServerArguments()};
    XvfbDisplay hostDisplay{1280, 800};
    std::unique_ptr<ChildProcess> host;
};

TEST_F(Transfer, SendAndReceiveFolderTreesWithNonAsciiNames) {
    // The viewer's tree to send, and the host's to be fetched.
    const fs::path photos = Home("viewer") / "Fotos ñ Ü";
    WriteFile(photos / "こんにちは.txt", "Grüße aus Corvala");
    WriteFile(photos / "sub" / "deeper" / "€uro.bin", RandomBytes(1 << 20, 1));
    WriteFile(photos / "sub" / "zero.bin", "");
    fs::create_directories(photos / "empty" / "inner");
    const fs::path data = Home("host") / "Daten ä";
    WriteFile(data / "Bericht ö.txt", "Zusammenfassung");
    WriteFile(data / "Unterordner" / "Bild ß.bin", RandomBytes(300 * 1024, 2));
    fs::create_directories(data / "Leer");

    XvfbDisplay viewerDisplay{1280, 800};
    const Screen viewerScreen(viewerDisplay), hostScreen(hostDisplay);
    auto viewer = StartViewer("viewer", ViewerId, viewerDisplay);
    ASSERT_FALSE(HasFailure());

    // "Send File...": the viewer picks its tree, the host its home folder.
    FileTransferMenu(viewerScreen, 1);
    auto chooser = viewerScreen.WaitForWindow("Send File");
    ASSERT_TRUE(chooser) << "no file chooser on the viewer's screen\n" << viewer->Log();
    viewerScreen.ChooseFirstItem(*chooser);
    viewerScreen.Screenshot("file-chooser");
    viewerScreen.PressOk(*chooser);
    auto destination = hostScreen.WaitForWindow("Receive File");
    ASSERT_TRUE(destination) << "no folder chooser on the host's screen\n" << host->Log() << viewer->Log();
    std::this_thread::sleep_for(1s);
    hostScreen.Screenshot("folder-chooser");
    hostScreen.PressOk(*destination);
    ASSERT_TRUE(WaitFor([&] { return Opened("host").find(Home("host").string()) != std::string::npos; }, 60s))
        << "the host did not open its destination: " << Opened("host") << host->Log() << viewer->Log();
    EXPECT_EQ(TreeOf(Home("host") / "Fotos ñ Ü"), TreeOf(photos));

    // "Receive File...": the host picks its own tree ("Daten ä" comes
    // before "Fotos ñ Ü"), the viewer its home folder.
    FileTransferMenu(viewerScreen, 2);
    chooser = hostScreen.WaitForWindow("Send File");
    ASSERT_TRUE(chooser) << "no file chooser on the host's screen\n" << host->Log();
    hostScreen.ChooseFirstItem(*chooser);
    hostScreen.PressOk(*chooser);
    destination = viewerScreen.WaitForWindow("Receive File");
    ASSERT_TRUE(destination) << "no folder chooser on the viewer's screen\n" << viewer->Log();
    std::this_thread::sleep_for(1s);
    viewerScreen.PressOk(*destination);
    ASSERT_TRUE(WaitFor([&] { return Opened("viewer").find(Home("viewer").string()) != std::string::npos; }, 60s))
        << "the viewer did not open its destination: " << Opened("viewer") << viewer->Log() << host->Log();
    EXPECT_EQ(TreeOf(Home("viewer") / "Daten ä"), TreeOf(data));
}

// The viewer dies in the middle of a file: the host notices within the
// engine's liveness time, removes the partial file and takes the next viewer.
TEST_F(Transfer, AViewerKilledMidFileLeavesNothingAtTheHost) {
    const fs::path big = Home("viewer") / "gross.bin";
    {
        // Data, not holes: the receiver leaves holes unwritten, so that its
        // partial file would not grow.
        const std::string block = RandomBytes(1 << 20, 3);
        fs::create_directories(big.parent_path());
        std::ofstream out(big, std::ios::binary);
        for (int i = 0; i < 256; ++i) out << block;
    }
    const int expanded = HostWindowHeight();
    XvfbDisplay viewerDisplay{1280, 800};
    const Screen viewerScreen(viewerDisplay), hostScreen(hostDisplay);
    auto viewer = StartViewer("viewer", ViewerId, viewerDisplay);
    ASSERT_FALSE(HasFailure());

    FileTransferMenu(viewerScreen, 1);
    const auto chooser = viewerScreen.WaitForWindow("Send File");
    ASSERT_TRUE(chooser) << viewer->Log();
    viewerScreen.ChooseFirstItem(*chooser);
    viewerScreen.PressOk(*chooser);
    const auto destination = hostScreen.WaitForWindow("Receive File");
    ASSERT_TRUE(destination) << host->Log() << viewer->Log();
    std::this_thread::sleep_for(1s);
    hostScreen.PressOk(*destination);
    const fs::path partial = Home("host") / "gross.bin";
    ASSERT_TRUE(WaitFor([&] { return fs::exists(partial) && fs::file_size(partial) > (8u << 20); }, 60s))
        << "the file is not under way\n"
        << viewer->Log() << host->Log();
    viewerScreen.Screenshot("transfer-window");

    ::kill(viewer->pid(), SIGKILL);
    viewer.reset();
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(partial); }, 20s)) << "the partial file stayed\n" << host->Log();
    EXPECT_TRUE(WaitFor([&] { return HostWindowHeight() == expanded; }, 20s)) << host->Log();
    EXPECT_TRUE(host->Running());

    XvfbDisplay secondDisplay{1280, 800};
    auto second = StartViewer("second", SecondViewerId, secondDisplay);
    EXPECT_FALSE(HasFailure()) << "the next viewer was not taken\n" << host->Log();
}

}  // namespace
}  // namespace corvala::e2e
