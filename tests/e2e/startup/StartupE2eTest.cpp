// The real `cr` started the ways a user and the companion service start it,
// on an Xvfb display, with a fresh program folder each.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "E2eSupport.h"
#include "XEventRecorder.h"

namespace corvala::e2e {
namespace {

namespace fs = std::filesystem;

class StartupE2e : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(scratch / "runtime");
        ::chmod((scratch / "runtime").c_str(), 0700);
        // A pkexec that refuses, as when the user cancels the password prompt.
        fs::create_directories(scratch / "fakebin");
        std::ofstream(scratch / "fakebin" / "pkexec") << "#!/bin/sh\nexit 126\n";
        ::chmod((scratch / "fakebin" / "pkexec").c_str(), 0755);
    }
    void TearDown() override { KillProcessesRunningFrom(Home()); }

    fs::path Home() const { return scratch / "home"; }

    std::map<std::string, std::string> Environment() const {
        return {{"CORVALA_HOME", Home().string()},
                {"CORVALA_RECEIVED", (scratch / "received").string()},
                {"XDG_RUNTIME_DIR", (scratch / "runtime").string()},
                {"DISPLAY", display.name()},
                {"QT_QPA_PLATFORM", "xcb"},
                {"CORVALA_AUTO_ANSWER", "ok"},  // accepts the first-run welcome
                {"CORVALA_ICE_SERVERS", ""},
                {"PATH", (scratch / "fakebin").string() + ":" + std::getenv("PATH")}};
    }

    int RunToEnd(std::vector<std::string> argv, const std::string& log) {
        ChildProcess process(std::move(argv), Environment(), scratch / log);
        int code = process.Wait(60s);
        EXPECT_EQ(code, 0) << process.Log();
        return code;
    }

    bool InstanceRunning(const std::string& role) {
        for (const auto& line : ProcessesRunningFrom(Home()))
            if (line.find(role) != std::string::npos) return true;
        return false;
    }

    ScratchFolder scratch{"startup"};
    XvfbDisplay display;
};

TEST_F(StartupE2e, LauncherInstallsAndStartsTheProgramWhenElevationIsRefused) {
    RunToEnd({(BinFolder() / "cr").string()}, "launcher.log");
    for (const char* file : {"cr", "crsystem", "crserver", "rt.so", "cr2.dt"})
        EXPECT_TRUE(fs::exists(Home() / file)) << file;
    EXPECT_FALSE(fs::exists(Home() / "data.zip"));

    EXPECT_TRUE(WaitFor([&] { return InstanceRunning("/from_application"); }, 30s))
        << "the launcher did not start the long-lived copy";
    EXPECT_TRUE(WaitFor([&] { return VisibleWindowCount(display.name(), "Corvala") == 1; }, 30s))
        << "the long-lived copy shows no window";
}

TEST_F(StartupE2e, AcceptedElevationHasTheCompanionHelperStartTheProgramOnce) {
    // A pkexec that grants every request and writes down what it ran.
    const fs::path granted = scratch / "pkexec.log";
    std::ofstream(scratch / "fakebin" / "pkexec")
        << "#!/bin/sh\necho \"$*\" >> '" << granted.string() << "'\nexec \"$@\"\n";
    RunToEnd({(BinFolder() / "cr").string()}, "launcher.log");

    EXPECT_TRUE(WaitFor([&] { return InstanceRunning("/from_service"); }, 30s))
        << "the companion helper did not start the long-lived copy";
    EXPECT_TRUE(WaitFor([&] { return VisibleWindowCount(display.name(), "Corvala") == 1; }, 30s))
        << "without automatic start the copy shows its window";
    EXPECT_FALSE(InstanceRunning("/from_application"));
    // Only the launch asked for elevation: undoing it leaves nothing to remove.
    std::ifstream in(granted);
    std::stringstream asked;
    asked << in.rdbuf();
    EXPECT_EQ(asked.str(), (Home() / "crsystem").string() + " /install /silent\n");
    EXPECT_FALSE(fs::exists(Home() / "~i"));
}

TEST_F(StartupE2e, SendsasPressesCtrlAltDeleteOnTheDisplayAndEnds) {
    XEventRecorder recorder(display.name(), 0x808080);
    ASSERT_TRUE(recorder.Ok());
    RunToEnd({(BinFolder() / "cr").string(), "-SendSAS"}, "sendsas.log");
    ASSERT_TRUE(WaitFor([&] { return recorder.Keys().size() >= 3; }, 10s)) << recorder.Keys().size() << " keys";
    const auto keys = recorder.Keys();
    ASSERT_EQ(keys.size(), 3u);
    // Control and Alt type nothing; Delete comes last, held with them.
    EXPECT_EQ(keys[0].text, "");
    EXPECT_EQ(keys[1].text, "");
    EXPECT_TRUE(ProcessesRunningFrom(Home()).empty()) << "the one-shot run started something";
    EXPECT_FALSE(fs::exists(Home() / "cr")) << "the one-shot run installed the program";
}

TEST_F(StartupE2e, SecondManualStartShowsTheHiddenWindowOfTheRunningCopy) {
    // Automatic start: the service-started copy begins hidden in the tray.
    fs::create_directories(Home() / "~i");
    ChildProcess instance({(BinFolder() / "cr").string(), "/from_service"}, Environment(), scratch / "instance.log");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(scratch / "runtime" / "corvala-window"); }, 30s)) << instance.Log();
    EXPECT_EQ(VisibleWindowCount(display.name(), "Corvala"), 0);

    RunToEnd({(Home() / "cr").string()}, "second.log");
    EXPECT_TRUE(WaitFor([&] { return VisibleWindowCount(display.name(), "Corvala") == 1; }, 20s));
    EXPECT_TRUE(instance.Running());
    EXPECT_TRUE(ProcessesRunningFrom(Home()).empty()) << "the second start must end";
}

}  // namespace
}  // namespace corvala::e2e
