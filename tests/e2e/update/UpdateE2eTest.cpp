// The self-update between the real program and the real crweb over TLS (the
// development PKI) inside the test's own network namespace, on an Xvfb
// display, driven by real clicks on the main button: a newer, signed `cr`
// replaces the installed one and runs; a tampered executable or signature is
// refused and deleted; "Abort" opens the download page and the program
// closes; each version answer leads to its outcome. For the downloads the
// site answers "43/43", so the main button reads "Download" at once; the newer copy is this build's `cr` with its version marker raised
// to 43 and signed with the development update key. A stand-in "xdg-open"
// on PATH writes down what the program opens.

#include <gtest/gtest.h>

#include <filesystem>
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

// The host panel below the main button (src/app): its bottom margin, the
// stopped activity indicator (hidden, its place kept), the progress bar and
// the spacing above each; and half the button's height.
constexpr int Border = 2, BottomMargin = 18, Indicator = 10, ProgressBar = 12, Spacing = 8, HalfButton = 18;
constexpr char SignatureNotice[] = "The downloaded update is not signed by the publisher. It was deleted and not started.";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class UpdateE2e : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(testing::SourceDir() + "/server/web/content", scratch / "content", fs::copy_options::recursive);
        WriteFile(scratch / "content" / "download" / "version.html", "43/43");
        WriteOpenRecorder(scratch / "fakebin", scratch / "opened.log");
        // The installed program, as the launcher leaves it.
        fs::create_directories(Home());
        fs::copy_file(BinFolder() / "cr", Home() / "cr");
        installed = ReadFile(Home() / "cr");
        // The newer version: the same program with its marker raised.
        newer = installed;
        const std::string marker = std::string("CORVALA-VERSION:42") + '\0';
        const auto at = newer.find(marker);
        ASSERT_NE(at, std::string::npos) << "the build's version marker";
        newer.replace(at, marker.size(), std::string("CORVALA-VERSION:43") + '\0');
        WriteFile(scratch / "newer", newer);
        fs::permissions(scratch / "newer", fs::perms::owner_all);
        ASSERT_EQ(Sign(scratch / "newer", scratch / "newer.sig"), 0);
    }
    void TearDown() override { KillProcessesRunningFrom(Home()); }

    fs::path Home() const { return scratch / "copy" / "home"; }

    static int Sign(const fs::path& file, const fs::path& signature) {
        return RunCommand("openssl pkeyutl -sign -rawin -inkey '" + PkiFile("update-signing.key") + "' -in '" +
                          file.string() + "' -out '" + signature.string() + "'")
            .exitCode;
    }

    // crweb over TLS serving `executable` and `signature` as the newest program.
    void StartSite(const fs::path& executable, const fs::path& signature, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--port", "0", "--bind", "127.0.0.1", "--content", (scratch / "content").string(),
                                      "--geoip", "none", "--cert", PkiFile("server.pem"), "--key", PkiFile("server.key"),
                                      "--file", "/download/corvala=" + executable.string(),
                                      "--file", "/download/corvala.sig=" + signature.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        site = std::make_unique<ServerProcess>("crweb", args);
        ASSERT_NE(site->port(), 0) << "crweb did not start";
    }
    std::string SiteAddress() const { return "https://127.0.0.1:" + std::to_string(site->port()); }

    // The installed copy, started as the launcher starts it; true once its
    // window shows, after the out-of-date notice made it grow (or after a
    // while: the notice may have come before the window was first seen).
    bool StartProgram() {
        auto env = ProgramEnvironment(scratch / "copy", 9, display.name());
        env["CORVALA_WEBSITE"] = SiteAddress();
        env["PATH"] = (scratch / "fakebin").string() + ":" + std::getenv("PATH");
        program = std::make_unique<ChildProcess>(std::vector<std::string>{(Home() / "cr").string(), "/from_application"},
                                                 env, scratch / "program.log");
        std::optional<WindowBox> first;
        if (!WaitFor([&] { return (first = WindowGeometry(display.name(), "Corvala")).has_value(); }, 30s)) return false;
        WaitFor(
            [&] {
                box = WindowGeometry(display.name(), "Corvala");
                return box && box->height != first->height;
            },
            10s);
        return box.has_value();
    }
    void ClickMainButton() {
        const int x = box->x + box->width / 2;
        const int y =
            box->y + box->height - Border - BottomMargin - Indicator - Spacing - ProgressBar - Spacing - HalfButton;
        RunCommand("DISPLAY=" + display.name() + " xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                   " sleep 0.2 click 1");
    }
    std::string Diagnostics() {
        return "\nmessages:\n" + MessageLog(scratch / "copy") + "\nopened:\n" + ReadFile(scratch / "opened.log") +
               "\noutput:\n" + (program ? program->Log() : std::string());
    }

    ScratchFolder scratch{"update"};
    XvfbDisplay display;
    std::string installed, newer;
    std::unique_ptr<ServerProcess> site;
    std::unique_ptr<ChildProcess> program;
    std::optional<WindowBox> box;
};

TEST_F(UpdateE2e, VersionAnswersGiveTheirOutcomes) {
    // What the window shows of each is checked in the update's window test;
    // here the program's own report of the check, in its output.
    struct Case {
        const char* answer;
        const char* reported;
    } const cases[] = {
        {"43/40", "corvala.update: version \"4.3\" is offered"},
        {"43/43", "corvala.update: this version is below the minimum 43"},
        {"42/40", "corvala.update: this version is current; the site offers \"4.2\""},
        {"100/40", "corvala.update: version \"10.0\" is offered"},
        {"abc", "corvala.update: version answer dropped"},
    };
    StartSite(scratch / "newer", scratch / "newer.sig");
    int run = 0;
    for (const Case& c : cases) {
        WriteFile(scratch / "content" / "download" / "version.html", c.answer);
        auto env = ProgramEnvironment(scratch / "copy", 9, display.name());
        env["CORVALA_WEBSITE"] = SiteAddress();
        ChildProcess copy({(Home() / "cr").string(), "/from_application"}, env,
                          scratch / ("check-" + std::to_string(++run) + ".log"));
        EXPECT_TRUE(WaitFor([&] { return copy.Log().find(c.reported) != std::string::npos; }, 30s))
            << c.answer << ":\n" << copy.Log();
        EXPECT_EQ(copy.Log().find("corvala.update", copy.Log().find(c.reported) + 1), std::string::npos)
            << c.answer << ": one outcome only";
        copy.Terminate();
        copy.Wait(30s);
    }
}

TEST_F(UpdateE2e, SignedUpdateReplacesTheProgramAndTheNewVersionRuns) {
    StartSite(scratch / "newer", scratch / "newer.sig");
    ASSERT_TRUE(StartProgram()) << Diagnostics();
    // A relay of this copy runs from the folder the update replaces files in.
    ChildProcess relay({(Home() / "crserver").string(), "-public-ip", "127.0.0.1", "-port", "3478", "-users", "u=p"},
                       {}, scratch / "relay.log");
    ASSERT_TRUE(WaitFor([&] { return relay.Running(); }, 5s));

    ClickMainButton();
    EXPECT_EQ(program->Wait(60s), 0) << "the old copy closes" << Diagnostics();
    EXPECT_TRUE(WaitFor([&] { return !relay.Running(); }, 10s)) << "the relay was ended first";
    EXPECT_TRUE(WaitFor([&] { return ReadFile(Home() / "cr") == newer; }, 60s))
        << "the new copy replaced the installed program" << Diagnostics();
    EXPECT_TRUE(WaitFor(
        [&] {
            for (const std::string& line : ProcessesRunningFrom(Home()))
                if (line.find("cr_update") != std::string::npos && line.find("/from_application") != std::string::npos)
                    return true;
            return false;
        },
        30s))
        << "the new version runs";
    EXPECT_TRUE(WaitFor([&] { return VisibleWindowCount(display.name(), "Corvala") == 1; }, 30s)) << Diagnostics();
    EXPECT_EQ(ReadFile(scratch / "opened.log"), "") << "no download page: the update went through";
}

TEST_F(UpdateE2e, TamperedUpdateIsRefusedAndDeleted) {
    std::string tampered = newer;
    tampered[tampered.size() / 2] ^= 0x01;
    WriteFile(scratch / "tampered", tampered);
    std::string badSignature = ReadFile(scratch / "newer.sig");
    badSignature[0] ^= 0x01;
    WriteFile(scratch / "bad.sig", badSignature);
    struct Case {
        const char* name;
        fs::path executable, signature;
    } const cases[] = {
        {"tampered executable", scratch / "tampered", scratch / "newer.sig"},
        {"tampered signature", scratch / "newer", scratch / "bad.sig"},
    };
    for (const Case& c : cases) {
        fs::remove(scratch / "opened.log");
        fs::remove(scratch / "copy" / "messages.log");
        StartSite(c.executable, c.signature);
        ASSERT_TRUE(StartProgram()) << c.name << Diagnostics();
        ClickMainButton();
        EXPECT_EQ(program->Wait(60s), 0) << c.name << Diagnostics();
        EXPECT_NE(MessageLog(scratch / "copy").find(SignatureNotice), std::string::npos) << c.name << Diagnostics();
        EXPECT_FALSE(fs::exists(Home() / "cr_update")) << c.name;
        EXPECT_EQ(ReadFile(Home() / "cr"), installed) << c.name;
        EXPECT_EQ(ReadFile(scratch / "opened.log"), SiteAddress() + "/downloads/\n") << c.name;
        for (const std::string& line : ProcessesRunningFrom(Home()))
            EXPECT_EQ(line.find("cr_update"), std::string::npos) << c.name << ": nothing was run";
    }
}

TEST_F(UpdateE2e, AbortOpensTheDownloadPageAndCloses) {
    // Slow enough that the download is still under way at the second click.
    StartSite(scratch / "newer", scratch / "newer.sig", {"--file-rate", "100000"});
    ASSERT_TRUE(StartProgram()) << Diagnostics();
    ClickMainButton();
    ASSERT_TRUE(WaitFor([&] { return fs::exists(Home() / "cr_update.part"); }, 20s)) << Diagnostics();
    ClickMainButton();  // now "Abort"
    EXPECT_EQ(program->Wait(60s), 0) << Diagnostics();
    EXPECT_EQ(ReadFile(scratch / "opened.log"), SiteAddress() + "/downloads/\n") << Diagnostics();
    EXPECT_FALSE(fs::exists(Home() / "cr_update"));
    EXPECT_FALSE(fs::exists(Home() / "cr_update.part"));
    EXPECT_EQ(ReadFile(Home() / "cr"), installed);
}

}  // namespace
}  // namespace corvala::e2e
