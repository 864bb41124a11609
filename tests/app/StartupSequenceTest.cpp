#include <gtest/gtest.h>

#include <stdexcept>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "app/CommandLineSwitches.h"
#include "app/StartupSequence.h"
#include "app/VersionMarker.h"
#include "fakes/PlatformFakes.h"

namespace corvala {
namespace {

namespace fs = std::filesystem;
using fakes::ShellCall;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A program file whose bytes carry a version marker.
std::string ProgramBytes(int version) {
    return std::string("\x7f" "ELF...", 7) + "CORVALA-VERSION:" + std::to_string(version) + std::string(1, '\0') + "rest";
}

std::string MakeZip(const fs::path& scratch, const std::map<std::string, std::string>& entries) {
    const fs::path path = scratch / "made.zip";
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    for (const auto& [name, bytes] : entries) {
        zip_fileinfo info{};
        zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6, 0);
        zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    std::string bytes = ReadFile(path);
    fs::remove(path);
    return bytes;
}

// A launcher folder, a program folder and a received folder in a scratch
// directory, with the platform faked and the payload a real ZIP archive.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("corvala-startup-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "launcher");
        adapters.adapters = {{"eth0", {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}}};
        launcher = root / "launcher" / "cr";
        WriteFile(launcher, ProgramBytes(42));
        fullPayload = MakeZip(root, {{"crsystem", "companion"}, {"crserver", "relay"}, {"rt.so", "engine"}});
        payload = fullPayload;
    }
    void TearDown() override { fs::remove_all(root); }

    StartupResult Run(std::vector<std::string> arguments, fs::path running = {}) {
        StartupInputs inputs;
        inputs.arguments = std::move(arguments);
        inputs.folders = {root / "program", root / "received"};
        inputs.runningExecutable = running.empty() ? launcher : running;
        inputs.ownVersion = 42;
        inputs.payload = payload;
        inputs.rootCertificate = "-----BEGIN CERTIFICATE-----\n";
        inputs.supportContact = "help@example.test";
        inputs.webSiteAddress = "http://site.test";
        StartupPlatform platform{shell, instance, channel, adapters, drives, attention, firewall, messages,
                                 [this](std::chrono::milliseconds ms) { sleeps.push_back(ms.count()); }};
        platform.startCaptureThread = [this] {
            ++captureStarts;
            if (captureStartThrows) throw std::runtime_error("no display");
        };
        return StartupSequence(platform, inputs, state).Run();
    }

    fs::path Program(const char* name) const { return root / "program" / name; }

    fs::path root, launcher;
    std::string fullPayload, payload;
    fakes::FakeShell shell;
    fakes::FakeSingleInstance instance;
    fakes::FakeInstanceChannel channel;
    fakes::FakeNetworkAdapters adapters;
    fakes::FakeDrives drives;
    fakes::FakeSecureAttention attention;
    fakes::FakeFirewall firewall;
    fakes::RecordingMessages messages;
    std::vector<long> sleeps;
    int captureStarts = 0;
    bool captureStartThrows = false;
    ProcessState state;
};

TEST(CommandLineSwitches, RecognisedAnywhereWithEitherPrefixInAnyCase) {
    struct Case {
        std::vector<std::string> args;
        bool sendsas, service, application;
    } cases[] = {
        {{"/sendsas"}, true, false, false},
        {{"-SENDSAS"}, true, false, false},
        {{"x", "/From_Service", "y"}, false, true, false},
        {{"-from_application", "/from_service"}, false, true, true},
        {{"from_application", "sendsas"}, false, false, false},  // no prefix
        {{"/from_applications", "//sendsas", "/"}, false, false, false},
    };
    for (const auto& c : cases) {
        auto s = CommandLineSwitches::Parse(c.args);
        EXPECT_EQ(s.sendsas, c.sendsas);
        EXPECT_EQ(s.fromService, c.service);
        EXPECT_EQ(s.fromApplication, c.application);
    }
}

TEST(VersionMarker, ReadsTheFirstWellFormedMarker) {
    using namespace std::string_literals;
    EXPECT_EQ(FindVersionNumber("xxCORVALA-VERSION:42\0yy"s), 42);
    EXPECT_EQ(FindVersionNumber("CORVALA-VERSION:\0 CORVALA-VERSION:7x CORVALA-VERSION:27\0"s), 27);
    EXPECT_EQ(FindVersionNumber("no marker here"s), std::nullopt);
    EXPECT_EQ(FindVersionNumber("CORVALA-VERSION:43"s), std::nullopt);  // cut off before its end
    EXPECT_EQ(OwnVersionNumber(), 42);
}

TEST_F(StartupTest, SendsasPressesTheSequenceAndEnds) {
    auto result = Run({"-SendSAS"});
    EXPECT_EQ(result.outcome, StartupOutcome::End);
    EXPECT_EQ(attention.presses, 1);
    EXPECT_EQ(instance.creations, 0);
    EXPECT_FALSE(fs::exists(root / "program"));
}

TEST_F(StartupTest, SecondManualStartShowsTheRunningWindowAndEndsQuietly) {
    instance.existed = true;
    channel.windowExists = true;
    EXPECT_EQ(Run({}).outcome, StartupOutcome::End);
    ASSERT_EQ(channel.sent.size(), 1u);
    EXPECT_EQ(channel.sent[0].message, 0xAAABu);
    EXPECT_EQ(channel.sent[0].wParam, 1111u);
    EXPECT_EQ(channel.sent[0].lParam, 2222u);
    EXPECT_TRUE(messages.warnings.empty());
    EXPECT_FALSE(fs::exists(root / "program"));

    channel.windowExists = false;
    Run({});
    EXPECT_EQ(messages.warnings,
              std::vector<std::string>{"The application is already running on this computer.\r\nClick at the tray icon."});

    // Copies started by the service or the launcher never test; beside a
    // running copy they own nothing that copy owns.
    messages.warnings.clear();
    const StartupResult beside = Run({"/from_application"});
    EXPECT_EQ(beside.outcome, StartupOutcome::RunMessageLoop);
    EXPECT_FALSE(beside.ownsInstanceLock);
    EXPECT_TRUE(messages.warnings.empty());
    instance.existed = false;
    EXPECT_TRUE(Run({"/from_application"}).ownsInstanceLock);
}

TEST_F(StartupTest, CaptureThreadStartsRightAfterTheSingleInstanceCheck) {
    // A copy that hands over to the running one, or only presses the
    // sequence, never captures.
    EXPECT_EQ(Run({"/sendsas"}).outcome, StartupOutcome::End);
    instance.existed = true;
    channel.windowExists = true;
    EXPECT_EQ(Run({}).outcome, StartupOutcome::End);
    EXPECT_EQ(captureStarts, 0);

    // It starts before the identity is computed, so also for a copy that
    // then ends for lack of one; a failure to start changes nothing else.
    instance.existed = false;
    adapters.adapters.clear();
    EXPECT_EQ(Run({"/from_application"}).outcome, StartupOutcome::End);
    EXPECT_EQ(captureStarts, 1);
    adapters.adapters = {{"eth0", {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}}};
    captureStartThrows = true;
    EXPECT_EQ(Run({"/from_application"}).outcome, StartupOutcome::RunMessageLoop);
    EXPECT_EQ(captureStarts, 2);
}

TEST_F(StartupTest, ConnectRequestGoesToTheRunningCopyOrToTheCopyTheLauncherStarts) {
    std::vector<std::string> passed;
    auto run = [&](bool running) {
        instance.existed = running;
        channel.windowExists = running;
        StartupInputs inputs;
        inputs.folders = {root / "program", root / "received"};
        inputs.runningExecutable = launcher;
        inputs.ownVersion = 42;
        inputs.payload = payload;
        inputs.connectRequest = "encoded request";
        inputs.connectArguments = "--connect \"123456789\"";
        inputs.connectPassword = "pw";
        StartupPlatform platform{shell, instance, channel, adapters, drives, attention, firewall, messages,
                                 [](std::chrono::milliseconds) {}};
        platform.passConnectPassword = [&](const std::string& password) {
            passed.push_back(password);
            // Handed over before the copy starts, so that it inherits it.
            EXPECT_EQ(shell.calls.size(), 1u) << "only the companion's start came before";
        };
        return StartupSequence(platform, inputs, state).Run();
    };
    run(true);
    ASSERT_EQ(channel.sent.size(), 2u);
    EXPECT_EQ(channel.sent[0].message, 0xAAABu);  // shown first, then asked to connect
    EXPECT_EQ(channel.sent[1].message, platform::ConnectRequestMessage);
    EXPECT_EQ(channel.sent[1].payload, "encoded request");
    EXPECT_TRUE(passed.empty());

    run(false);
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[1], (ShellCall{"open", Program("cr").string(), "/from_application --connect \"123456789\""}));
    EXPECT_EQ(passed, std::vector<std::string>{"pw"});
}

TEST_F(StartupTest, IdentityFailuresEndWithTheirMessages) {
    adapters.adapters.clear();
    EXPECT_EQ(Run({"/from_application"}).outcome, StartupOutcome::End);
    EXPECT_EQ(messages.errors, std::vector<std::string>{"Invalid format of unique ID. Please contact developers."});
    EXPECT_FALSE(fs::exists(root / "program"));

    // A drive answering garbage is skipped; the MAC still identifies.
    adapters.adapters = {{"eth0", {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}}};
    drives.throwEverywhere = true;
    auto result = Run({"/from_application"});
    EXPECT_EQ(result.outcome, StartupOutcome::RunMessageLoop);
    EXPECT_EQ(result.macAddressText, "0A-1B-2C-3D-4E-5F");
    EXPECT_EQ(result.machineFingerprint, "9PKN9B722B49");
}

TEST_F(StartupTest, UncreatableProgramFolderEndsWithItsMessage) {
    WriteFile(root / "blocker", "a file where a folder should be");
    StartupInputs inputs;
    StartupPlatform platform{shell, instance, channel, adapters, drives, attention, firewall, messages,
                             [](std::chrono::milliseconds) {}};
    inputs.folders = {root / "blocker" / "Corvala", root / "received"};
    inputs.runningExecutable = launcher;
    inputs.ownVersion = 42;
    EXPECT_EQ(StartupSequence(platform, inputs, state).Run().outcome, StartupOutcome::End);
    EXPECT_EQ(messages.errors, std::vector<std::string>{"Unable create directory " + (root / "blocker" / "Corvala").string()});
    EXPECT_TRUE(state.EventsSuspended);
}

TEST_F(StartupTest, FirstStartInstallsThePayloadAndFallsBackWhenElevationIsRefused) {
    EXPECT_EQ(Run({}).outcome, StartupOutcome::End);
    EXPECT_EQ(ReadFile(Program("cr")), ProgramBytes(42));
    EXPECT_EQ(ReadFile(Program("crsystem")), "companion");
    EXPECT_EQ(ReadFile(Program("crserver")), "relay");
    EXPECT_EQ(ReadFile(Program("rt.so")), "engine");
    EXPECT_EQ(ReadFile(Program("cr2.dt")), "-----BEGIN CERTIFICATE-----\n");
    EXPECT_FALSE(fs::exists(Program("data.zip")));
    EXPECT_TRUE(fs::is_directory(root / "received"));
    const std::vector<ShellCall> expected = {
        {"runas", Program("crsystem").string(), "/install /silent"},
        {"open", Program("cr").string(), "/from_application"},
    };
    EXPECT_EQ(shell.calls, expected);

    shell.calls.clear();
    shell.runasResult = platform::ShellSuccess;  // the service takes over
    Run({});
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "runas");
}

TEST_F(StartupTest, DeletedRelayIsRestoredAtTheNextStart) {
    Run({"/from_application"});
    fs::remove(Program("crserver"));
    WriteFile(Program("cr2.dt"), "kept");
    EXPECT_EQ(Run({"/from_application"}).outcome, StartupOutcome::RunMessageLoop);
    EXPECT_EQ(ReadFile(Program("crserver")), "relay");
    EXPECT_EQ(ReadFile(Program("cr2.dt")), "kept");  // an existing root file is not rewritten
}

TEST_F(StartupTest, CompleteInstallationIsLeftAlone) {
    Run({"/from_application"});
    WriteFile(Program("rt.so"), "patched");
    WriteFile(Program("cr"), ProgramBytes(42));
    Run({"/from_application"});
    EXPECT_EQ(ReadFile(Program("rt.so")), "patched");
}

TEST_F(StartupTest, PayloadsThatCannotSupplyTheRelayEndWithError326) {
    const std::string withoutRelay = MakeZip(root, {{"crsystem", "companion"}, {"rt.so", "engine"}});
    const std::string truncated = fullPayload.substr(0, fullPayload.size() / 2);
    const std::string corrupt(4096, '\x5a');
    std::string flipped = fullPayload;
    flipped[flipped.size() / 3] ^= 0xFF;  // inside compressed data
    for (const std::string* bad : {&withoutRelay, &truncated, &corrupt}) {
        fs::remove_all(root / "program");
        messages.errors.clear();
        payload = *bad;
        EXPECT_EQ(Run({"/from_application"}).outcome, StartupOutcome::End);
        ASSERT_EQ(messages.errors.size(), 1u);
        const std::string& text = messages.errors[0];
        EXPECT_TRUE(text == "Please contact developers at help@example.test and report the following error code: 326" ||
                    text == "Please contact developers at help@example.test and report the following error code: 324")
            << text;
        EXPECT_FALSE(fs::exists(Program("data.zip")));
    }
    // Damaged data inside an entry never lands as a half-written program.
    fs::remove_all(root / "program");
    payload = flipped;
    Run({"/from_application"});
    const std::map<std::string, std::string> intact = {{"crsystem", "companion"}, {"crserver", "relay"}, {"rt.so", "engine"}};
    for (const auto& [name, content] : intact) {
        if (fs::exists(Program(name.c_str()))) {
            EXPECT_EQ(ReadFile(Program(name.c_str())), content) << name;
        }
    }
}

TEST_F(StartupTest, PresenceChecksComeInOrder) {
    payload = MakeZip(root, {{"crserver", "relay"}});
    Run({"/from_application"});
    ASSERT_EQ(messages.errors.size(), 1u);
    EXPECT_NE(messages.errors[0].find("error code: 324"), std::string::npos);
}

TEST_F(StartupTest, ArchiveEntriesCannotLeaveTheProgramFolder) {
    payload = MakeZip(root, {{"crsystem", "c"}, {"crserver", "r"}, {"../escaped", "x"}, {"/abs", "y"}});
    Run({"/from_application"});
    EXPECT_FALSE(fs::exists(root / "escaped"));
    EXPECT_FALSE(fs::exists("/abs"));
    EXPECT_TRUE(messages.errors.empty());
}

TEST_F(StartupTest, UpdateAndReplacementRules) {
    struct Case {
        const char* running;
        int runningVersion;
        int installedVersion;
        bool failedUpdate;    // the warning and the download page, then end
        bool installedKept;   // the installed program was not replaced
    } cases[] = {
        {"cr_update", 43, 26, true, true},
        {"cr_update", 43, 27, false, false},
        {"cr", 43, 26, false, false},    // only the update file refuses old installations
        {"cr", 43, 42, false, false},    // a newer launcher replaces the installed program
        {"cr", 42, 42, false, true},     // equal versions: nothing happens
        {"cr", 42, 43, false, true},     // an older launcher never downgrades
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.running) + " " + std::to_string(c.runningVersion) + " over " +
                     std::to_string(c.installedVersion));
        fs::remove_all(root / "program");
        Run({"/from_application"});  // a complete installation
        WriteFile(Program("cr"), ProgramBytes(c.installedVersion));
        const fs::path running = root / "launcher" / c.running;
        WriteFile(running, ProgramBytes(c.runningVersion));
        messages.warnings.clear();
        shell.calls.clear();
        state.EventsSuspended = false;

        StartupInputs inputs;
        inputs.arguments = {"/from_application"};
        inputs.folders = {root / "program", root / "received"};
        inputs.runningExecutable = running;
        inputs.ownVersion = c.runningVersion;
        inputs.payload = payload;
        inputs.webSiteAddress = "http://site.test";
        StartupPlatform platform{shell, instance, channel, adapters, drives, attention, firewall, messages,
                                 [](std::chrono::milliseconds) {}};
        auto result = StartupSequence(platform, inputs, state).Run();

        if (c.failedUpdate) {
            EXPECT_EQ(result.outcome, StartupOutcome::End);
            EXPECT_EQ(messages.warnings, std::vector<std::string>{
                "Automatic update failed.\r\n\r\nPlease download new version on our website:\r\n\r\nhttp://site.test/downloads/"});
            EXPECT_EQ(shell.calls, (std::vector<ShellCall>{{"open", "http://site.test/downloads/", ""}}));
            EXPECT_TRUE(state.EventsSuspended);
        } else {
            EXPECT_EQ(result.outcome, StartupOutcome::RunMessageLoop);
        }
        const int nowInstalled = ReadVersionNumber(Program("cr")).value_or(-1);
        EXPECT_EQ(nowInstalled, c.installedKept ? c.installedVersion : c.runningVersion);
    }
}

TEST_F(StartupTest, UndeletableOldProgramIsTriedThreeTimesOneSecondApart) {
    Run({"/from_application"});
    fs::remove(Program("cr"));
    WriteFile(Program("cr") / "busy", "a non-empty folder cannot be removed like a file");
    const fs::path newer = root / "launcher" / "cr";
    WriteFile(newer, ProgramBytes(43));
    StartupInputs inputs;
    inputs.arguments = {"/from_application"};
    inputs.folders = {root / "program", root / "received"};
    inputs.runningExecutable = newer;
    inputs.ownVersion = 43;
    inputs.payload = payload;
    StartupPlatform platform{shell, instance, channel, adapters, drives, attention, firewall, messages,
                             [this](std::chrono::milliseconds ms) { sleeps.push_back(ms.count()); }};
    EXPECT_EQ(StartupSequence(platform, inputs, state).Run().outcome, StartupOutcome::RunMessageLoop);
    EXPECT_EQ(sleeps, (std::vector<long>{1000, 1000, 1000}));
    EXPECT_TRUE(fs::is_directory(Program("cr")));
}

TEST_F(StartupTest, LeftoverUpdateFileIsRemovedUnlessItIsTheRunningOne) {
    Run({"/from_application"});
    WriteFile(Program("cr_update"), ProgramBytes(43));
    WriteFile(Program("cr_update.part"), "the first half of a download");
    Run({"/from_application"});
    EXPECT_FALSE(fs::exists(Program("cr_update")));
    EXPECT_FALSE(fs::exists(Program("cr_update.part")));

    WriteFile(Program("cr_update"), ProgramBytes(42));
    Run({"/from_application"}, Program("cr_update"));
    EXPECT_TRUE(fs::exists(Program("cr_update")));
}

TEST_F(StartupTest, BrandingCopyCases) {
    const fs::path custom = root / "launcher" / "crcustom.txt";
    struct Case {
        std::string content;
        bool logoBeside;
        bool logoCopied;
    } cases[] = {
        {"Call us: 555-0100\r\n", true, false},                // one line: only the file itself
        {"\xEF\xBB\xBF" "Call us\r\nlogo.png\r\n", true, true},  // second line names the logo
        {"Call us\r\nmissing.png\r\n", false, false},          // a missing logo is skipped quietly
        {"Call us\r\n../logo.png\r\n", true, false},           // never copied outside the folder
    };
    for (const auto& c : cases) {
        fs::remove_all(root / "program");
        fs::remove(root / "launcher" / "logo.png");
        WriteFile(custom, c.content);
        if (c.logoBeside) WriteFile(root / "launcher" / "logo.png", "PNG");
        EXPECT_EQ(Run({}).outcome, StartupOutcome::End) << c.content;
        EXPECT_EQ(ReadFile(Program("crcustom1.txt")), c.content);
        EXPECT_EQ(fs::exists(Program("logo.png")), c.logoCopied) << c.content;
        EXPECT_FALSE(fs::exists(root / "logo.png"));
        EXPECT_TRUE(messages.errors.empty());
    }
}

TEST_F(StartupTest, BrandingIsRemovedWithoutItsSourceAndAppliedWhenPresent) {
    Run({"/from_application"});
    WriteFile(Program("crcustom1.txt"), "stale");
    Run({});  // a launcher without crcustom.txt beside it
    EXPECT_FALSE(fs::exists(Program("crcustom1.txt")));

    WriteFile(Program("crcustom1.txt"), "Branded by us");
    Run({"/from_application"});  // long-lived copies do not touch branding
    EXPECT_TRUE(state.Branded);
    EXPECT_EQ(state.Theme.CaptionColour, 0xFFFFFFu);
    EXPECT_EQ(state.Theme.BorderWidth, 1);
    EXPECT_FALSE(state.Theme.PanelColour.has_value());
    EXPECT_EQ(state.Theme.RemoteAreaColour, 0x363636u);  // no branded value: default kept
}

TEST_F(StartupTest, UnreadableBrandingFileEndsWithError3723) {
    fs::create_directories(root / "launcher" / "crcustom.txt");  // a folder cannot be read as lines
    EXPECT_EQ(Run({}).outcome, StartupOutcome::End);
    ASSERT_EQ(messages.errors.size(), 1u);
    const std::string suffix = " Error code: 3723. Please contact developers.";
    EXPECT_EQ(messages.errors[0].substr(messages.errors[0].size() - suffix.size()), suffix);
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(StartupTest, ServiceStartedCopy) {
    // First run: no settings yet, no autostart marker.
    auto result = Run({"/from_service"});
    EXPECT_EQ(result.outcome, StartupOutcome::RunMessageLoop);
    EXPECT_FALSE(state.StartHidden);
    EXPECT_EQ(shell.calls, (std::vector<ShellCall>{{"open", Program("crsystem").string(), "/uninstall /silent"}}));
    ASSERT_EQ(firewall.rules.size(), 2u);
    EXPECT_EQ(firewall.rules[0].first, "Corvala");
    EXPECT_EQ(firewall.rules[1], (std::pair<std::string, std::string>{"crserver", Program("crserver").string()}));

    // Automatic start: hidden, the service stays, and later runs add no rules.
    shell.calls.clear();
    firewall.rules.clear();
    fs::create_directory(Program("~i"));
    WriteFile(Program("set.dt"), "settings");
    Run({"/from_service"});
    EXPECT_TRUE(state.StartHidden);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(firewall.rules.empty());
}

}  // namespace
}  // namespace corvala
