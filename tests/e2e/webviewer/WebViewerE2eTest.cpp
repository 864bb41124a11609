// The browser viewer end to end: Debian's headless Chromium opens the web
// viewer from crweb over HTTPS, signals through crsignal's WebSocket port and
// drives a real host copy of the program on Xvfb, all over TLS with the
// development PKI inside the test's loopback-only network namespace.

#include <gtest/gtest.h>

#include "DevToolsBrowser.h"
#include "E2eSupport.h"
#include "PrivateLogind.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"
#include "XEventRecorder.h"

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <iostream>

namespace corvala::e2e {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* HostPassword = "secret7";
// The host's wallpaper: four quadrants the browser must show.
constexpr unsigned long Quadrants[4] = {0xE02020, 0x20C020, 0x2040E0, 0xE0E020};

// The port after "wss://ADDRESS:" in crsignal's start-up lines.
std::uint16_t WebSocketPort(ServerProcess& signal) {
    if (!signal.waitForOutput("wss://", 1, 10s)) return 0;
    const auto& out = signal.output();
    const auto at = out.find("wss://");
    return static_cast<std::uint16_t>(std::atoi(out.c_str() + out.find(':', at + 6) + 1));
}

bool Near(const json& rgb, unsigned long want, int tolerance = 48) {
    if (!rgb.is_array() || rgb.size() < 3) return false;
    for (int i = 0; i < 3; ++i)
        if (std::abs(rgb[i].get<int>() - int((want >> (16 - 8 * i)) & 0xFF)) > tolerance) return false;
    return true;
}

// The video's size and the colours at its four quadrants' middles, read
// from the decoded frame.
constexpr char kFrameProbe[] = R"((() => {
  const v = document.getElementById("video");
  if (!v || !v.videoWidth) return null;
  const c = document.createElement("canvas");
  c.width = v.videoWidth; c.height = v.videoHeight;
  const g = c.getContext("2d");
  g.drawImage(v, 0, 0);
  const at = (x, y) => Array.from(g.getImageData(Math.floor(x), Math.floor(y), 1, 1).data.slice(0, 3));
  const w = c.width, h = c.height;
  return {width: w, height: h, quadrants: [at(w / 4, h / 4), at(3 * w / 4, h / 4), at(w / 4, 3 * h / 4), at(3 * w / 4, 3 * h / 4)]};
})())";

class WebViewer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(signal.port(), 0);
        wsPort = WebSocketPort(signal);
        ASSERT_NE(wsPort, 0) << signal.output();
        ASSERT_NE(web.port(), 0);
        ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), Quadrants));
        OpenBrowser("en-US");
    }

    void OpenBrowser(const std::string& language) {
        browser.reset();
        browser = std::make_unique<DevToolsBrowser>(scratch / ("browser-" + language), PkiFile("server.pem"),
                                                    language);
        ASSERT_TRUE(browser->Ok()) << browser->Log();
        ASSERT_TRUE(browser->Navigate("https://localhost:" + std::to_string(web.port()) +
                                      "/connect/?signalling=wss://localhost:" + std::to_string(wsPort) + "/"))
            << browser->Log();
    }

    void TearDown() override {
        if (HasFailure() && browser) std::cerr << "page: " << Page("document.body.innerText").dump() << '\n';
        if (HasFailure() && host) std::cerr << "host: " << host->Log() << '\n';
        browser.reset();
        host.reset();
    }

    void StartHost(const HostPolicy& policy = {}, const std::map<std::string, std::string>& extraEnvironment = {}) {
        WriteProgramSettings(scratch / "host" / "home", HostId, HostPassword, std::nullopt, policy);
        auto environment = ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name());
        for (const auto& [key, value] : extraEnvironment) environment[key] = value;
        host = std::make_unique<ChildProcess>(HostCommand(), environment, scratch / "host.log");
        ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s))
            << host->Log();
    }

    // The host's window is collapsed while it has a session, full without one.
    int HostWindowHeight() {
        const auto box = WindowGeometry(hostDisplay.name(), "Corvala");
        return box ? box->height : -1;
    }

    json Page(const std::string& expression) { return browser->Evaluate(expression).value_or(json()); }

    void Connect(const std::string& password) {
        const std::string script = "document.getElementById('host-id').value = '" + std::string(HostId) +
                                   "'; document.getElementById('password').value = " + json(password).dump() +
                                   "; document.getElementById('name').value = 'Browser'; "
                                   "document.getElementById('connect').click(); true";
        ASSERT_EQ(Page(script), json(true));
    }

    // Waits for the picture and returns what kFrameProbe read.
    json WaitForPicture() {
        json frame;
        WaitFor([&] {
            frame = Page(kFrameProbe);
            return frame.is_object() && Near(frame["quadrants"][0], Quadrants[0]);
        }, 60s);
        return frame;
    }

    std::string State() { return Page("document.body.dataset.state").get<std::string>(); }
    std::string Notice() { return Page("document.getElementById('notice').textContent").get<std::string>(); }

    ScratchFolder scratch{"webviewer"};
    ServerProcess signal{"crsignal", [] {
                             auto args = SignalServerArguments();
                             args.insert(args.end(), {"--ws-port", "0"});
                             return args;
                         }()};
    ServerProcess web{"crweb", {"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile("server.pem"), "--key",
                                PkiFile("server.key"), "--geoip", "none"}};
    std::uint16_t wsPort = 0;
    XvfbDisplay hostDisplay{1280, 800};
    std::unique_ptr<ChildProcess> host;
    std::unique_ptr<DevToolsBrowser> browser;
};

TEST_F(WebViewer, PictureArrivesAtItsSizeAndColoursAndInputReachesTheHost) {
    StartHost();
    ASSERT_TRUE(WaitFor([&] { return HostWindowHeight() > 100; }, 20s));
    const int expanded = HostWindowHeight();
    Connect(HostPassword);
    const json frame = WaitForPicture();
    ASSERT_TRUE(frame.is_object()) << host->Log();
    EXPECT_EQ(frame["width"], 1280);
    EXPECT_EQ(frame["height"], 800);
    for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(frame["quadrants"][q], Quadrants[q])) << q << ": " << frame.dump();
    EXPECT_EQ(State(), "connected");
    // The whole picture fits the page unscaled, as in the program's view.
    const json layout = Page("corvalaViewer.layout");
    EXPECT_EQ(layout["width"], 1280);
    EXPECT_EQ(layout["height"], 800);
    // The page as a user sees it; CORVALA_SCREENSHOT_DIR keeps a copy (docs/screenshots).
    EXPECT_TRUE(browser->Screenshot(scratch / "web-viewer.png"));
    if (const char* keep = std::getenv("CORVALA_SCREENSHOT_DIR"))
        fs::copy_file(scratch / "web-viewer.png", fs::path(keep) / "web-viewer.png", fs::copy_options::overwrite_existing);

    // A window over the host's screen records what reaches it.
    XEventRecorder recorder(hostDisplay.name(), 0x808080);
    ASSERT_TRUE(recorder.Ok());
    const json box = Page("(() => { const r = document.getElementById('picture').getBoundingClientRect();"
                          " return [r.left, r.top]; })()");
    const int left = box[0].get<int>(), top = box[1].get<int>();
    browser->Click(left + 640, top + 400);
    ASSERT_TRUE(WaitFor([&] { return !recorder.Clicks().empty(); }, 20s)) << "no click reached the host";
    const auto click = recorder.Clicks().front();
    EXPECT_EQ(click.button, 1u);
    EXPECT_NEAR(click.x, 640, 2);
    EXPECT_NEAR(click.y, 400, 2);

    for (const char c : std::string("corvala")) browser->PressKey(std::string(1, c), std::toupper(c), std::string(1, c));
    browser->PressKey("\xC3\xA9", 0, "\xC3\xA9");  // é: no key code says it, so it goes as a character
    ASSERT_TRUE(WaitFor([&] { return recorder.Keys().size() >= 8; }, 20s)) << "typed: " << recorder.Typed();
    const std::string typed = recorder.Typed();
    EXPECT_EQ(typed.substr(0, 7), "corvala");
    EXPECT_TRUE(typed.substr(7) == "\xE9" || typed.substr(7) == "\xC3\xA9") << typed;

    // DISCONNECT from the browser ends the session on both sides.
    EXPECT_LT(HostWindowHeight(), 60) << "the host shows no session";
    ASSERT_EQ(Page("document.getElementById('disconnect').click(); true"), json(true));
    EXPECT_TRUE(WaitFor([&] { return State() == "ended"; }, 10s));
    EXPECT_NE(Notice().find("The session has ended."), std::string::npos);
    EXPECT_TRUE(WaitFor([&] { return HostWindowHeight() == expanded; }, 20s)) << "the host kept the session";
}

TEST_F(WebViewer, HostClosingSendsDisconnectAndTheBrowserEndsTheSession) {
    StartHost();
    Connect(HostPassword);
    ASSERT_TRUE(WaitForPicture().is_object());
    ::kill(host->pid(), SIGTERM);  // the close sequence says DISCONNECT to every peer
    EXPECT_TRUE(WaitFor([&] { return State() == "ended"; }, 15s));
    EXPECT_EQ(host->Wait(15s), 0);
}

TEST_F(WebViewer, ViewOnlyHostRefusesInputWithTheNotice) {
    StartHost({.AllowOnlyViewing = true});
    Connect(HostPassword);
    ASSERT_TRUE(WaitForPicture().is_object());
    XEventRecorder recorder(hostDisplay.name(), 0x808080);
    ASSERT_TRUE(recorder.Ok());
    const json box = Page("(() => { const r = document.getElementById('picture').getBoundingClientRect();"
                          " return [r.left, r.top]; })()");
    const int left = box[0].get<int>(), top = box[1].get<int>();
    // The host answers the first input with DEMONSTRATION_ON; the next press is not sent but explained.
    const std::string demonstration =
        "Remote side is running in the Demonstration mode. It rejects the control commands.";
    ASSERT_TRUE(WaitFor([&] {
        browser->Click(left + 100, top + 100);
        return Notice() == demonstration;
    }, 20s));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(recorder.Clicks().empty()) << "a click reached a view-only host";
    EXPECT_EQ(State(), "connected");
}

// Five wrong passwords are refused one by one, the sixth starts the lock-out,
// and during it even the right password is refused with the time left.
TEST_F(WebViewer, WrongPasswordsAreRefusedAndTheLockOutEngages) {
    const auto attempt = [&](const std::string& password) {
        Connect(password);
        WaitFor([&] { return State() == "refused"; }, 30s);
        return Notice();
    };
    // Before the host has joined, the server knows no such ID.
    EXPECT_EQ(attempt(HostPassword), "Device with this ID is not connected or you entered a wrong ID.");
    StartHost();
    for (int i = 1; i <= 5; ++i) ASSERT_EQ(attempt("wrong"), "Invalid password.") << "attempt " << i;
    const std::string sixth = attempt("wrong");
    EXPECT_TRUE(sixth == "Invalid password.\n\nToo many failed attempts. Please try again in 30 seconds." ||
                sixth == "Invalid password.\n\nToo many failed attempts. Please try again in 29 seconds.")
        << sixth;
    const std::string locked = attempt(HostPassword);
    EXPECT_TRUE(locked.starts_with("Too many failed attempts. Please try again in ")) << locked;
}

}  // namespace
}  // namespace corvala::e2e

namespace corvala::e2e {
namespace {

// A host whose session locks says RECONNECT and streams its desktop copy
// window instead; the browser waits, and once its picture has stalled sets
// the session up again by itself, as the program's viewer does.
TEST_F(WebViewer, ReconnectsByItselfWhenTheHostsSessionLocks) {
    PrivateLogind logind(scratch / "bus");
    ASSERT_TRUE(logind.Ready()) << logind.Log();
    StartHost({}, {{"DBUS_SYSTEM_BUS_ADDRESS", logind.BusAddress()}});
    Connect(HostPassword);
    ASSERT_TRUE(WaitForPicture().is_object());
    const auto status = [&] { return Page("document.getElementById('status').textContent").get<std::string>(); };
    ASSERT_TRUE(logind.Lock()) << logind.Log();
    EXPECT_TRUE(WaitFor([&] { return status() == "Please wait..."; }, 30s)) << status();
    EXPECT_TRUE(WaitFor([&] { return MappedWindowsCovering(hostDisplay.name(), 1280, 800) == 1; }, 60s));
    // Only a new peer connection says "Connected to" again.
    EXPECT_TRUE(WaitFor([&] { return status().starts_with("Connected to "); }, 90s)) << status();
    EXPECT_TRUE(WaitForPicture().is_object());
    EXPECT_EQ(State(), "connected");
}

TEST_F(WebViewer, WhiteListRefusesABrowserNotOnIt) {
    StartHost({.WhiteList = std::vector<std::string>{"123456789"}});
    Connect(HostPassword);
    ASSERT_TRUE(WaitFor([&] { return State() == "refused"; }, 30s));
    EXPECT_EQ(Notice(), "Your ID is not in the white list.");
}

// The page speaks the browser's language with the program's own texts.
TEST_F(WebViewer, InterfaceSpeaksTheBrowsersLanguage) {
    OpenBrowser("de-DE");
    EXPECT_EQ(Page("document.getElementById('connect').textContent"), json("Verbinden"));
    Connect(HostPassword);  // no host has joined
    ASSERT_TRUE(WaitFor([&] { return State() == "refused"; }, 30s));
    EXPECT_EQ(Notice(), "Das Ger\xC3\xA4t mit dieser ID ist nicht verbunden, oder Sie haben eine falsche ID eingegeben.");
}

}  // namespace
}  // namespace corvala::e2e
