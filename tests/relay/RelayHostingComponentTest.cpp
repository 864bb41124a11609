// The host's own relay against the real services, in this test's own
// namespaces (PublicAddressNamespace.cpp): crweb tells the "public" address
// 10.78.0.1 and probes the relay there, the real crserver started from the
// build folder prints the probe's marker, the announcement travels over the
// program's own TLS link to the real crsignal, and a viewer asking crsignal
// for a relay gets this one. Only the router (a mapping of 3478 to itself)
// and the process times of the load watchdog are fakes.
#include "relay/RelayHosting.h"

#include "ServerProcess.h"
#include "TlsLineClient.h"
#include "settings/Settings.h"
#include "signalling/SignallingConnection.h"
#include "signalling/SignallingMessage.h"
#include "signalling/WirePayloads.h"

#include "CoreTestApplication.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

namespace corvala {
namespace {

using namespace std::chrono_literals;
using testing::PkiFile;
using testing::ServerProcess;
using testing::TlsLineClient;

const char* const PublicIp = "10.78.0.1";
const QString HostId = QStringLiteral("111222333");
const QString ViewerId = QStringLiteral("444555666");

// A router that forwards the relay's port to itself.
class SamePortForwarding : public IPortForwarding {
public:
    bool EnsurePortMapping(int& relayPort) override {
        relayPort = RelayLocalPort;
        return true;
    }
};

// Process times that show whatever load the test sets, for any process.
class SetLoad : public relay::ProcessTimesSource {
public:
    std::optional<relay::ProcessTimes> timesOf(pid_t) override { return times; }
    std::uint32_t tickMs() override { return tick; }
    int processorCount() override { return 2; }
    void Next(float percent) {
        tick += 30000;
        times.user += std::uint64_t(double(percent) * 30000 * 100.0 * 2);
    }
    relay::ProcessTimes times;
    std::uint32_t tick = 1000;
};

// The host's side as the core wires it: its own signalling connection,
// joined under HostId, re-arming TurnChecker at "joined".
class HostSide : public IRelayHostingEvents {
public:
    explicit HostSide(std::uint16_t signallingPort)
        : link(SignallingConfig{SignallingEndpoint{QStringLiteral("127.0.0.1"), signallingPort},
                                QString::fromStdString(PkiFile("ca.pem")), HostId, {}}) {
        QObject::connect(&link, &SignallingConnection::lineReceived, [this](const QByteArray& line) {
            const auto object = ParseSignallingLine(line);
            if (!object || Envelope::FromObject(*object).msg != QStringView(wire::Joined)) return;
            link.SetJoined();
            if (!turnChecker.isActive()) turnChecker.start();
        });
    }
    bool ConnectedToSignalServer() const override { return link.FConnectedToSignalServer(); }
    bool SendRelayMessage(const QString& msg, const QString& payload) override {
        return link.WriteLine(GetMessage(HostId, msg, {}, {}, payload));
    }
    bool SaveSettings() override { return true; }
    void AddOwnIceServer(const QString& url, const QString& user, const QString& password) override {
        iceServers << url + ' ' + user + ' ' + password;
    }
    void ShowRelaySetupRunning(bool running) override { busy << running; }

    SignallingConnection link;
    QTimer turnChecker, watchdog;
    QStringList iceServers;
    QList<bool> busy;
};

std::string CommandLineOf(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::replace(all.begin(), all.end(), '\0', ' ');
    return all;
}

// What crsignal hands a viewer of `country` that asks for a relay now.
std::optional<IceServer> RelayForViewer(TlsLineClient& viewer, const QString& country) {
    if (!viewer.writeLine(GetMessage(ViewerId, QString::fromUtf16(wire::GetPublicTurn), {}, {}, country).toStdString()))
        return std::nullopt;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const auto line = viewer.readLine(50ms);
        if (!line) continue;
        const auto object = ParseSignallingLine(QByteArray::fromStdString(*line));
        if (!object) continue;
        const Envelope e = Envelope::FromObject(*object);
        if (e.msg == QStringView(wire::PublicTurn)) return IceServer::FromJson(e.payload);
    }
    return std::nullopt;
}

// Asks until crsignal's answer names `url` (or nobody, for an empty one):
// the host's message and the viewer's question travel separate links.
bool ViewerGets(TlsLineClient& viewer, const QString& country, const QString& url, IceServer* relay = nullptr) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until) {
        const auto offered = RelayForViewer(viewer, country);
        if (offered && offered->url == url) {
            if (relay) *relay = *offered;
            return true;
        }
        QTest::qWait(100);
    }
    return false;
}

class RelayHostingComponent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(signal.port(), 0) << "crsignal did not start";
        ASSERT_NE(web.port(), 0) << "crweb did not start";
        ASSERT_FALSE(processes.Find(RelayNameMatch::Prefix)) << "a relay runs in the test's own namespace already";
        settings.RelayUserName = "us1234";
        settings.RelayPassword = "pw4567";
        host = std::make_unique<HostSide>(signal.port());
        RelayHostingConfig config;
        config.ProgramFolder = QString::fromStdString(testing::BinDir());
        hosting = std::make_unique<TRelayHosting>(config, RelayHostingPlatform{forwarding, webQueries, processes, load},
                                                  settings, *host, host->turnChecker, host->watchdog);
        ASSERT_TRUE(viewer.connect(signal.port(), PkiFile("ca.pem")));
        ASSERT_TRUE(viewer.writeLine(GetMessage(ViewerId, u"join"_qs, {}, {}, ViewerId).toStdString()));
    }
    void TearDown() override {
        hosting.reset();
        if (host) host->link.CloseSignalling();
    }
    // Joins the host; its setup runs and ends.
    void JoinAndSetUp() {
        host->link.ServerConnectionCheckerTimer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return host->busy.size() == 2; }, 30000)) << "the setup did not end";
        EXPECT_EQ(host->busy, QList<bool>({true, false}));
    }

    const QString url = QStringLiteral("turn:10.78.0.1:3478");
    ServerProcess signal{"crsignal", {"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile("server.pem"), "--key",
                                      PkiFile("server.key")}};
    ServerProcess web{"crweb", {"--port", "0", "--bind", PublicIp}};
    Settings settings{SettingsEnvironment{}};
    SamePortForwarding forwarding;
    HttpRelayWebQueries webQueries{QStringLiteral("http://%1:%2").arg(PublicIp).arg(web.port())};
    ProcRelayProcesses processes;
    SetLoad load;
    std::unique_ptr<HostSide> host;
    std::unique_ptr<TRelayHosting> hosting;
    TlsLineClient viewer;
};

TEST_F(RelayHostingComponent, ProvenAnnouncedHandedToAViewerWithdrawnAndAnnouncedAgain) {
    JoinAndSetUp();
    ASSERT_TRUE(hosting->RelayRunning()) << "the relay was not proven reachable";
    EXPECT_EQ(hosting->PublicIP(), PublicIp);
    EXPECT_EQ(host->iceServers, QStringList{url + " us1234 pw4567"});
    const auto relayPid = processes.Find(RelayNameMatch::Exact);
    ASSERT_TRUE(relayPid);
    EXPECT_EQ(CommandLineOf(*relayPid),
              testing::BinDir() + "/crserver -public-ip 10.78.0.1 -port 3478 -users us1234=pw4567 ");
    EXPECT_TRUE(host->watchdog.isActive());

    IceServer offered;
    ASSERT_TRUE(ViewerGets(viewer, hosting->CountryCode(), url, &offered))
        << "crsignal did not hand the announced relay to a viewer of the same country";
    EXPECT_EQ(offered.username, "us1234");
    EXPECT_EQ(offered.password, "pw4567");

    // Busy: withdrawn, and crsignal has no relay to hand out any more.
    load.Next(40.0f);
    hosting->WatchdogTick();
    EXPECT_TRUE(hosting->RelayWithdrawn());
    EXPECT_TRUE(ViewerGets(viewer, hosting->CountryCode(), QString())) << "the withdrawn relay is still handed out";
    // Quiet again: announced again.
    load.Next(2.0f);
    hosting->WatchdogTick();
    EXPECT_FALSE(hosting->RelayWithdrawn());
    EXPECT_TRUE(ViewerGets(viewer, hosting->CountryCode(), url)) << "the relay was not announced again";

    // The program's end ends the relay it started.
    hosting->Close();
    EXPECT_FALSE(processes.Find(RelayNameMatch::Prefix));
}

// A relay left running by an earlier run (with the stored credentials) is
// announced at once, without a second relay and without a probe, and the
// program's end ends it too.
TEST_F(RelayHostingComponent, ARelayLeftRunningIsReusedWithoutAProbeAndEndedAtClose) {
    ServerProcess earlier("crserver", {"-public-ip", PublicIp, "-port", "3478", "-users", "us1234=pw4567"});
    ASSERT_EQ(earlier.port(), 3478);
    JoinAndSetUp();
    EXPECT_TRUE(hosting->RelayRunning());
    EXPECT_EQ(processes.Find(RelayNameMatch::Prefix), earlier.pid()) << "a second relay was started";
    EXPECT_TRUE(ViewerGets(viewer, hosting->CountryCode(), url));
    EXPECT_FALSE(earlier.waitForOutput(TRelayHosting::Marker, 1, 1s)) << "the reused relay was probed";
    hosting->Close();
    EXPECT_FALSE(earlier.running()) << "the reused relay still runs after the close";
}

}  // namespace
}  // namespace corvala
