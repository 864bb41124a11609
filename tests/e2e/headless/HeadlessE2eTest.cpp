// The host without a monitor, started by its one command: it prints an ID and
// a password, keeps them in a file only its user reads, and a viewer on
// another display reaches it over crsignal with exactly those and sees its
// virtual screen. Stopping the command stops the whole host.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"
#include "TlsLineClient.h"
#include "signalling/SignallingMessage.h"

namespace corvala::e2e {
namespace {

namespace fs = std::filesystem;
using testing::PkiFile;
using testing::ServerProcess;

constexpr int Width = 1024, Height = 768;
// The host's wallpaper, which the viewer must show.
constexpr unsigned long Quadrants[4] = {0xD02020, 0x20B020, 0x2040D0, 0xE0C020};

// The first match of `pattern`'s group in `text`; empty when none.
std::string Find(const std::string& text, const std::string& pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : std::string();
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Headless, ViewerReachesTheHostWithThePrintedCredentials) {
    ScratchFolder scratch("headless");
    ServerProcess signal("crsignal", SignalServerArguments());
    ASSERT_NE(signal.port(), 0);

    // The host's environment as a service gives it: no display of its own.
    auto hostEnvironment = ProgramEnvironment(scratch / "host", signal.port());
    hostEnvironment.erase("DISPLAY");
    hostEnvironment.erase("QT_QPA_PLATFORM");
    hostEnvironment.erase("CORVALA_AUTO_ANSWER");  // the command answers for itself
    hostEnvironment["HOME"] = (scratch / "host").string();
    hostEnvironment["XDG_STATE_HOME"] = (scratch / "host" / "state").string();
    ChildProcess host({(BinFolder() / "corvala-headless").string(), "--size", "1024x768"}, hostEnvironment,
                      scratch / "host.log");
    std::string id, password;
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::string log = host.Log();
            id = Find(log, "\nID: ([0-9]{9})\n");
            password = Find(log, "\nPassword: (\\S+)\n");
            return !id.empty() && !password.empty();
        },
        60s))
        << host.Log();

    // The file holds the same, for its owner only.
    const fs::path credentials = scratch / "host" / "state" / "corvala-headless" / "credentials";
    EXPECT_EQ(ReadFile(credentials), "ID=" + id + "\nPassword=" + password + "\n");
    struct stat st {};
    ASSERT_EQ(::stat(credentials.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The virtual display is the size asked for, behind the cookie it printed.
    const std::string display = Find(host.Log(), "display (:[0-9]+) \\(1024x768\\)");
    const std::string xauthority = Find(host.Log(), "Xauthority (\\S+)\n");
    ASSERT_FALSE(display.empty()) << host.Log();
    ::setenv("XAUTHORITY", xauthority.c_str(), 1);
    ASSERT_TRUE(PaintRootQuadrants(display, Quadrants)) << host.Log();
    EXPECT_NE(RunCommand("XAUTHORITY=/nonexistent xdpyinfo -display " + display + " >/dev/null 2>&1").exitCode, 0)
        << "the host's display admits clients without its cookie";
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), id, PkiFile("ca.pem")); }, 30s)) << host.Log();

    // Another password is refused: the printed one is the one that counts.
    {
        testing::TlsLineClient probe;
        ASSERT_TRUE(probe.connect(static_cast<std::uint16_t>(signal.port()), PkiFile("ca.pem")));
        const QString probeId = "777888999";
        probe.writeLine(GetMessage(probeId, "join", {}, {}, probeId).toStdString());
        ASSERT_TRUE(probe.readLine(5s));  // "joined"
        probe.writeLine(GetMessage(probeId, "message", QString::fromStdString(id), "init", {},
                                   QString::fromStdString(password + "x"))
                            .toStdString());
        const auto answer = probe.readLine(10s);
        ASSERT_TRUE(answer) << "the host did not answer a wrong password";
        EXPECT_NE(answer->find("invalid_password"), std::string::npos) << *answer;
    }

    XvfbDisplay viewerDisplay(Width, Height);
    WriteProgramSettings(scratch / "viewer" / "home", "444555666");
    ChildProcess viewer(ViewerCommand(id, password),
                        ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()),
                        scratch / "viewer.log");
    std::vector<int> counts;
    const std::vector<unsigned long> picture(std::begin(Quadrants), std::end(Quadrants));
    EXPECT_TRUE(WaitFor(
        [&] {
            counts = ScreenColourCounts(viewerDisplay.name(), picture);
            return counts.size() == 4 && std::all_of(counts.begin(), counts.end(), [](int n) { return n > 2000; });
        },
        90s))
        << "the viewer does not show the host's screen; viewer messages:\n"
        << MessageLog(scratch / "viewer") << "\nviewer:\n"
        << viewer.Log() << "\nhost:\n"
        << host.Log();

    // Stopping the command (only the command, as a service manager's stop
    // would) stops the host and its display.
    ::kill(host.pid(), SIGTERM);
    EXPECT_GE(host.Wait(30s), 0) << host.Log();
    EXPECT_TRUE(WaitFor([&] { return !fs::exists("/tmp/.X11-unix/X" + display.substr(1)); }, 20s))
        << "the virtual display outlived the command";
}

}  // namespace
}  // namespace corvala::e2e
