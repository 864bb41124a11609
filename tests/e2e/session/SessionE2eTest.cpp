// Two real copies of the program on two displays: the viewer connects to the
// host with `--connect` and the host's password, and sees the host's screen.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <fstream>
#include <iterator>

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
constexpr const char* HostPassword = "secret7";
// The host's wallpaper: four quadrants the viewer must show.
constexpr unsigned long Quadrants[4] = {0xE02020, 0x20C020, 0x2040E0, 0xE0E020};

// How many pixels of the screenshot are within `tolerance` of each colour.
std::array<int, 4> CountQuadrantColours(const QImage& image, int tolerance = 48) {
    std::array<int, 4> counts{};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            for (int q = 0; q < 4; ++q) {
                const QColor want = QColor::fromRgb(QRgb(Quadrants[q]));
                if (std::abs(c.red() - want.red()) < tolerance && std::abs(c.green() - want.green()) < tolerance &&
                    std::abs(c.blue() - want.blue()) < tolerance)
                    ++counts[q];
            }
        }
    return counts;
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(signal.port(), 0);
        ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), Quadrants));
        WriteProgramSettings(scratch / "host" / "home", HostId, HostPassword);
        WriteProgramSettings(scratch / "viewer" / "home", ViewerId);
        host = std::make_unique<ChildProcess>(
            HostCommand(),
            ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()), scratch / "host.log");
        ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s))
            << host->Log();
    }
    void TearDown() override {
        viewer.reset();
        host.reset();
    }

    void StartViewer(const std::string& password) {
        viewer = std::make_unique<ChildProcess>(
            ViewerCommand(HostId, password),
            ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()), scratch / "viewer.log");
    }

    QImage ViewerScreenshot() {
        const fs::path file = scratch / "viewer-screen.png";
        RunCommand("DISPLAY=" + viewerDisplay.name() + " import -window root " + file.string() + " 2>/dev/null");
        return QImage(QString::fromStdString(file.string()));
    }

    ScratchFolder scratch{"session"};
    ServerProcess signal{"crsignal", SignalServerArguments()};
    XvfbDisplay hostDisplay{1280, 800};
    XvfbDisplay viewerDisplay{1280, 800};
    std::unique_ptr<ChildProcess> host, viewer;
};

TEST_F(Session, ViewerSeesTheHostsScreen) {
    StartViewer(HostPassword);
    std::array<int, 4> counts{};
    const bool seen = WaitFor(
        [&] {
            counts = CountQuadrantColours(ViewerScreenshot());
            return std::all_of(counts.begin(), counts.end(), [](int n) { return n > 2000; });
        },
        90s);
    EXPECT_TRUE(seen) << "quadrant pixels on the viewer: " << counts[0] << " " << counts[1] << " " << counts[2]
                      << " " << counts[3] << "\nviewer messages:\n"
                      << MessageLog(scratch / "viewer") << "\nviewer output:\n"
                      << viewer->Log() << "\nhost output:\n"
                      << host->Log();
    EXPECT_NE(ReadWholeFile(scratch / "host" / "home" / "log.txt").find(std::string("Incoming connection from ")),
              std::string::npos);
    EXPECT_NE(ReadWholeFile(scratch / "viewer" / "home" / "log.txt").find(std::string("Outgoing connection to ")),
              std::string::npos);
    EXPECT_TRUE(host->Running());
    EXPECT_TRUE(viewer->Running());
}

TEST_F(Session, WrongPasswordIsRefusedWithItsWarning) {
    StartViewer("wrong");
    EXPECT_TRUE(WaitFor([&] { return MessageLog(scratch / "viewer").find("Invalid password.") != std::string::npos; },
                        60s))
        << MessageLog(scratch / "viewer") << viewer->Log();
    EXPECT_EQ(ReadWholeFile(scratch / "host" / "home" / "log.txt").find("Incoming connection"), std::string::npos);
}

}  // namespace
}  // namespace corvala::e2e
