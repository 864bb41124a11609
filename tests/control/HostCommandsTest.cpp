// The host's system commands: the one pending command and its timer, what
// each number does on this desktop and what the viewer hears when it
// cannot, the screenshot, the magnifier search and its minimiser, and the
// viewer's notices.
#include "control/HostCommands.h"

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>

#include <fstream>

#include <gtest/gtest.h>

#include "base/ProcessState.h"
#include "fakes/DesktopFakes.h"
#include "fakes/PlatformFakes.h"
#include "fakes/RecordingInjector.h"
#include "fakes/RecordingRtc.h"

namespace corvala {
namespace {

using Lines = std::vector<std::string>;
const QString Viewer = QStringLiteral("111111111");

class HostCommandsTest : public ::testing::Test, private IHostCommandEvents {
public:
    HostCommandsTest() {
        rtc.Activate({});
        rtc.AddPeer(Viewer, rtc.FindEndPoint());
        rtc.SetCurrentViewingPeerID(Viewer);
        controlTimer.setInterval(100);
        minimizerTimer.setInterval(1000);
        ctrlAltDelTimer.setInterval(1000);
        processState().EventsSuspended = false;
        processState().TransferMode = TTransferMode::Idle;
    }
    ~HostCommandsTest() override {
        processState().EventsSuspended = false;
        processState().TransferMode = TTransferMode::Idle;
    }

    // Arms n and lets the timer's tick run it.
    void Run(int n) {
        commands.Arm(n);
        commands.ControlCommandTick();
    }
    Lines Replies() {
        Lines out;
        for (const std::string& sent : rtc.TakeData()) out.push_back(sent.substr(Viewer.size() + 2));
        return out;
    }
    std::filesystem::path Folder(const char* name) const {
        return std::filesystem::path(dir.path().toStdString()) / name;
    }

    int argc = 1;
    char name[8] = "test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QTemporaryDir dir;
    testing::RecordingRtc rtc;
    PeerMessenger messenger{rtc};
    testing_support::RecordingInjector injector;
    fakes::FakeShell shell;
    fakes::FakeSystemControl system;
    fakes::FakeDesktopPrograms programs;
    fakes::FakeDesktopCapture capture;
    fakes::FakeClipboard clipboard;
    QTimer controlTimer, minimizerTimer, ctrlAltDelTimer;
    std::vector<std::pair<QString, QString>> filesSent;
    QStringList notices;
    HostCommands commands{{injector, shell, system, programs, capture, clipboard},
                          {Folder("program"), Folder("received")},
                          rtc,
                          messenger,
                          *this,
                          {controlTimer, minimizerTimer, ctrlAltDelTimer}};

private:
    void SendFileToViewer(const QString& path, const QString& peerId) override { filesSent.emplace_back(path, peerId); }
    void ShowNotice(const QString& text) override { notices << text; }
};

TEST_F(HostCommandsTest, OneCommandWaitsForTheTimerAndALaterOneReplacesIt) {
    commands.Arm(4);
    commands.Arm(5);
    EXPECT_TRUE(controlTimer.isActive());
    EXPECT_EQ(controlTimer.interval(), 100);
    EXPECT_TRUE(system.requests.empty()) << "nothing runs inside the dispatch";

    // While events are suspended the tick waits and tries again.
    processState().EventsSuspended = true;
    commands.ControlCommandTick();
    EXPECT_TRUE(system.requests.empty());
    EXPECT_TRUE(controlTimer.isActive());

    processState().EventsSuspended = false;
    commands.ControlCommandTick();
    EXPECT_EQ(system.requests, std::vector{platform::SessionAction::Reboot});
    EXPECT_FALSE(controlTimer.isActive());
    EXPECT_EQ(commands.PendingCommand(), 0);
}

struct CommandCase {
    const char* name;
    int n;
    std::function<void(HostCommandsTest&)> setUp;
    Lines effects;  // what the desktop was asked
    Lines replies;  // what went back to the viewer
};
void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

class Command : public HostCommandsTest, public ::testing::WithParamInterface<CommandCase> {
protected:
    Lines Effects() {
        Lines out = injector.Take();
        for (const auto& action : system.requests)
            out.push_back(action == platform::SessionAction::Lock     ? "lock"
                          : action == platform::SessionAction::Reboot ? "reboot"
                                                                      : "power-off");
        for (const auto& call : shell.calls)
            out.push_back(call.verb + " " + std::filesystem::path(call.file).filename().string() + " " +
                          call.parameters);
        for (const auto& path : programs.started) out.push_back("start " + path);
        return out;
    }
};

TEST_P(Command, DoesItsActionOrTellsTheViewerWhyNot) {
    const CommandCase& c = GetParam();
    if (c.setUp) c.setUp(*this);
    Run(c.n);
    EXPECT_EQ(Effects(), c.effects);
    EXPECT_EQ(Replies(), c.replies);
}

void ProgramFilePresent(HostCommandsTest& t) {
    std::filesystem::create_directories(t.Folder("program"));
    std::ofstream(t.Folder("program") / "cr") << "x";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Command,
    ::testing::Values(
        CommandCase{"SystemMonitor",
                    1,
                    [](auto& t) { t.programs.onPath["ksysguard"] = "/usr/bin/ksysguard"; },
                    {"start /usr/bin/ksysguard"},
                    {}},
        CommandCase{"TheFirstSystemMonitorOnTheList",
                    1,
                    [](auto& t) {
                        t.programs.onPath["lxtask"] = "/usr/bin/lxtask";
                        t.programs.onPath["gnome-system-monitor"] = "/usr/bin/gnome-system-monitor";
                    },
                    {"start /usr/bin/gnome-system-monitor"},
                    {}},
        CommandCase{"NoSystemMonitor", 1, nullptr, {}, {"NOCONTROL1"}},
        CommandCase{"AltTab", 2, nullptr, {"key 18 down", "key 9 down", "key 9 up", "key 18 up"}, {}},
        CommandCase{"Lock", 4, nullptr, {"lock"}, {}}, CommandCase{"Reboot", 5, nullptr, {"reboot"}, {}},
        CommandCase{"PowerOff", 6, nullptr, {"power-off"}, {}},
        CommandCase{"LockWithoutSessionManager", 4, [](auto& t) { t.system.accept = false; }, {"lock"}, {"NOCONTROL4"}},
        CommandCase{"RebootRefused", 5, [](auto& t) { t.system.accept = false; }, {"reboot"}, {"NOCONTROL5"}},
        CommandCase{"PowerOffRefused", 6, [](auto& t) { t.system.accept = false; }, {"power-off"}, {"NOCONTROL6"}},
        CommandCase{"CtrlAltDelThroughTheProgramCopy", 7, ProgramFilePresent, {"open cr /sendsas"}, {}},
        CommandCase{"CtrlAltDelWithoutTheProgramFile", 7, nullptr, {}, {"NOCONTROL7"}},
        CommandCase{"CtrlAltDelCopyDoesNotStart",
                    7,
                    [](auto& t) {
                        ProgramFilePresent(t);
                        t.shell.openResult = platform::ShellFileNotFound;
                    },
                    {"open cr /sendsas"},
                    {"NOCONTROL7"}},
        CommandCase{
            "Magnifier", 8, [](auto& t) { t.programs.onPath["kmag"] = "/usr/bin/kmag"; }, {"start /usr/bin/kmag"}, {}},
        CommandCase{"NoMagnifier", 8, nullptr, {}, {"NOCONTROL8"}},
        CommandCase{"MagnifierAlreadyRunning",
                    8,
                    [](auto& t) {
                        t.programs.onPath["kmag"] = "/usr/bin/kmag";
                        t.programs.running = {"bash", "kmag"};
                    },
                    {},
                    {}},
        CommandCase{"ZeroIsAcceptedAndDoesNothing", 0, nullptr, {}, {}},
        CommandCase{"NineIsAcceptedAndDoesNothing", 9, nullptr, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostCommandsTest, ScreenshotGoesToTheClipboardAndAsAJpegToTheViewer) {
    // Left half red, right half blue, and a white row across the middle.
    capture.picture = {64, 32, std::vector<std::uint32_t>(64 * 32)};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            capture.picture.pixels[y * 64 + x] = y == 16 ? 0xFFFFFF : x < 32 ? 0xD02020 : 0x2020D0;
    Run(3);
    EXPECT_EQ(clipboard.images, 1);
    ASSERT_EQ(filesSent.size(), 1u);
    EXPECT_EQ(filesSent[0].second, Viewer);
    EXPECT_EQ(filesSent[0].first.toStdString(), (Folder("received") / "screenshot.jpg").string());
    QImage jpeg;
    ASSERT_TRUE(jpeg.load(filesSent[0].first, "JPEG"));
    ASSERT_EQ(jpeg.size(), QSize(64, 32));
    const auto near = [](QRgb got, QRgb want) {
        return std::abs(qRed(got) - qRed(want)) < 12 && std::abs(qGreen(got) - qGreen(want)) < 12 &&
               std::abs(qBlue(got) - qBlue(want)) < 12;
    };
    EXPECT_TRUE(near(jpeg.pixel(8, 4), 0xD02020));
    EXPECT_TRUE(near(jpeg.pixel(56, 28), 0x2020D0));
    // Quality 98 keeps a one-pixel line bright (its colour is subsampled).
    for (int x : {8, 40}) EXPECT_GE(qGray(jpeg.pixel(x, 16)), 225) << std::hex << jpeg.pixel(x, 16);
    EXPECT_TRUE(Replies().empty());

    // An earlier screenshot is replaced.
    capture.picture = {8, 8, std::vector<std::uint32_t>(64, 0x000000)};
    Run(3);
    ASSERT_TRUE(jpeg.load(filesSent.back().first, "JPEG"));
    EXPECT_EQ(jpeg.size(), QSize(8, 8));
}

TEST_F(HostCommandsTest, ScreenshotWhileATransferRunsStaysOnTheClipboard) {
    capture.picture = {8, 8, std::vector<std::uint32_t>(64, 0x336699)};
    processState().TransferMode = TTransferMode::Sending;
    Run(3);
    EXPECT_EQ(clipboard.images, 1);
    EXPECT_TRUE(filesSent.empty());
    EXPECT_FALSE(std::filesystem::exists(Folder("received") / "screenshot.jpg"));
}

TEST_F(HostCommandsTest, UnreadableScreenTellsTheViewer) {
    capture.fails = true;
    Run(3);
    EXPECT_EQ(clipboard.images, 0);
    EXPECT_TRUE(filesSent.empty());
    EXPECT_EQ(Replies(), Lines{"NOCONTROL3"});
}

struct MagnifierCase {
    const char* name;
    std::map<std::string, std::string> onPath;
    std::vector<std::string> running;
    Magnifier::Outcome outcome;
    Lines started;
};
void PrintTo(const MagnifierCase& c, std::ostream* os) { *os << c.name; }

class MagnifierSearch : public HostCommandsTest, public ::testing::WithParamInterface<MagnifierCase> {};

TEST_P(MagnifierSearch, StartsTheFirstInstalledUnlessOneRuns) {
    const MagnifierCase& c = GetParam();
    programs.onPath = c.onPath;
    programs.running = c.running;
    EXPECT_EQ(commands.DriveMagnifier(true, false), c.outcome);
    EXPECT_EQ(programs.started, c.started);
}

INSTANTIATE_TEST_SUITE_P(Cases, MagnifierSearch,
                         ::testing::Values(MagnifierCase{"NoneInstalled", {}, {}, Magnifier::Outcome::NotInstalled, {}},
                                           MagnifierCase{"OnlyTheLastCandidate",
                                                         {{"xzoom", "/usr/bin/xzoom"}},
                                                         {},
                                                         Magnifier::Outcome::Started,
                                                         {"/usr/bin/xzoom"}},
                                           MagnifierCase{"TheFirstCandidateWins",
                                                         {{"xzoom", "/usr/bin/xzoom"}, {"magnus", "/opt/bin/magnus"}},
                                                         {},
                                                         Magnifier::Outcome::Started,
                                                         {"/opt/bin/magnus"}},
                                           MagnifierCase{"RunningIsComparedInLowerCaseByItsStart",
                                                         {{"magnus", "/usr/bin/magnus"}},
                                                         {"Magnus-2"},
                                                         Magnifier::Outcome::AlreadyRunning,
                                                         {}},
                                           MagnifierCase{"AnotherCandidateRunning",
                                                         {{"magnus", "/usr/bin/magnus"}},
                                                         {"kmag"},
                                                         Magnifier::Outcome::AlreadyRunning,
                                                         {}},
                                           MagnifierCase{"ANameThatOnlyContainsOneIsNoMagnifier",
                                                         {{"magnus", "/usr/bin/magnus"}},
                                                         {"notmagnus"},
                                                         Magnifier::Outcome::Started,
                                                         {"/usr/bin/magnus"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostCommandsTest, MinimiserLooksFiveTimesThenGivesUp) {
    programs.onPath["magnus"] = "/usr/bin/magnus";
    ASSERT_EQ(commands.DriveMagnifier(true, true), Magnifier::Outcome::Started);
    EXPECT_TRUE(minimizerTimer.isActive());
    for (int tick = 1; tick <= Magnifier::MinimizerAttempts; ++tick) {
        commands.MagnifierMinimizerTick();
        EXPECT_TRUE(minimizerTimer.isActive()) << "tick " << tick;
    }
    commands.MagnifierMinimizerTick();
    EXPECT_FALSE(minimizerTimer.isActive());
    EXPECT_TRUE(programs.minimised.empty());
}

TEST_F(HostCommandsTest, MinimiserStopsOnceTheWindowShowsAndStopEndsOnlyItsOwnMagnifier) {
    programs.onPath["magnus"] = "/usr/bin/magnus";
    ASSERT_EQ(commands.DriveMagnifier(true, true), Magnifier::Outcome::Started);
    commands.MagnifierMinimizerTick();
    programs.windows.insert("magnus");
    commands.MagnifierMinimizerTick();
    EXPECT_EQ(programs.minimised, Lines{"magnus"});
    EXPECT_FALSE(minimizerTimer.isActive());

    EXPECT_EQ(commands.DriveMagnifier(false, false), Magnifier::Outcome::Stopped);
    EXPECT_EQ(programs.terminated, std::vector<int>{100});
    commands.DriveMagnifier(false, false);
    EXPECT_EQ(programs.terminated.size(), 1u) << "a magnifier the user started is left alone";
}

TEST_F(HostCommandsTest, ViewerNotices) {
    commands.ArmCannotCtrlAltDelDialog();
    EXPECT_TRUE(ctrlAltDelTimer.isActive());
    EXPECT_TRUE(notices.isEmpty());
    commands.CannotCtrlAltDelTick();
    EXPECT_FALSE(ctrlAltDelTimer.isActive());
    commands.ShowNotAvailable(4);
    commands.ShowNotAvailable(8);
    commands.ShowNotAvailable(2);  // Alt+Tab cannot fail: nobody sends this
    EXPECT_EQ(notices, QStringList({"Unfortunately, Ctrl+Alt+Del can only be used on the Lock screen.",
                                    HostCommands::NotAvailableText(4), HostCommands::NotAvailableText(8)}));
    EXPECT_TRUE(notices[1].contains("locked"));
    EXPECT_TRUE(notices[2].contains("magnifier"));
}

}  // namespace
}  // namespace corvala
