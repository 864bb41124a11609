// Port forwarding against a real UPnP router: miniupnpd in a network
// namespace of its own, joined to the test's namespace (the host) by a veth
// pair. The whole process runs in a private namespace (LoopbackNamespace.cpp),
// so discovery's multicast and every SOAP call stay between the two.
//
//   host namespace (this process)        router namespace (miniupnpd)
//   eth0 192.168.77.10/24  <-- veth -->  lan0 192.168.77.1/24
//   default route via 192.168.77.1       wan0 100.128.77.1/24 (outside side)
//
// miniupnpd refuses to forward with a private outside address, so wan0 has a
// public-looking one. It is only a label: wan0's peer is wan1 in the same
// namespace, which has no way out, and nothing is ever sent to it.
// HostileIgd.h stands in for miniupnpd where a real router would not
// misbehave on purpose.

#include "HostileIgd.h"
#include "dialogs/FormRouting.h"
#include "relay/LanAddress.h"
#include "relay/MiniupnpcRouter.h"
#include "relay/PortMapper.h"
#include "relay/UpnpPortForwarding.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "fakes/QtTestApplication.h"

namespace corvala {
namespace {

const QString HostAddress = QStringLiteral("192.168.77.10");
const QString OtherClient = QStringLiteral("192.168.77.50");
constexpr char RouterAddress[] = "192.168.77.1";
constexpr int RouterHttpPort = 5000;
// The router answers at once across the veth pair; discovery still waits
// this long for further answers.
constexpr std::chrono::milliseconds Discovery(400);

pid_t Spawn(const std::vector<std::string>& argv, const QString& logPath = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!logPath.isEmpty()) {
            if (FILE* log = std::fopen(logPath.toLocal8Bit().constData(), "w")) {
                dup2(fileno(log), 1);
                dup2(fileno(log), 2);
            }
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = 0;
}

bool Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command;
    return status == 0;
}

std::string NetNamespace(pid_t pid) {
    char target[128]{};
    const std::string link = "/proc/" + std::to_string(pid) + "/ns/net";
    return readlink(link.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

std::vector<RouterMapping> MappingsOf(IRouter& router, int port) {
    std::vector<RouterMapping> found;
    for (const RouterMapping& m : router.Mappings().entries)
        if (m.externalPort == port) found.push_back(m);
    return found;
}

// Both protocols of `port` forwarded to `client`:3478, nothing else on it.
void ExpectForwarded(IRouter& router, int port, const QString& client) {
    const std::vector<RouterMapping> found = MappingsOf(router, port);
    ASSERT_EQ(found.size(), 2u) << "mappings of port " << port;
    QStringList protocols;
    for (const RouterMapping& m : found) {
        EXPECT_EQ(m.internalClient, client);
        EXPECT_EQ(m.internalPort, RelayLocalPort);
        protocols << m.protocol;
    }
    protocols.sort();
    EXPECT_EQ(protocols, (QStringList{"TCP", "UDP"}));
}

class UpnpRouter : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(getenv("CORVALA_IN_TEST_NETNS")) << "must run in the test's own network namespace";
        const std::string ours = NetNamespace(getpid());
        holder = Spawn({"unshare", "-n", "sleep", "600"});
        for (int i = 0; i < 100 && NetNamespace(holder) == ours; ++i) QThread::msleep(20);
        ASSERT_NE(NetNamespace(holder), ours);
        const std::string in = "nsenter -t " + std::to_string(holder) + " -n ";
        ASSERT_TRUE(Shell("ip link add eth0 type veth peer name lan0 netns " + std::to_string(holder)));
        ASSERT_TRUE(Shell("ip addr add " + HostAddress.toStdString() +
                          "/24 dev eth0 && ip link set eth0 up && ip route add default via " + RouterAddress));
        ASSERT_TRUE(Shell(in + "sh -c 'ip link set lo up && ip addr add " + RouterAddress +
                          "/24 dev lan0 && ip link set lan0 up && ip link add wan0 type veth peer name wan1 && "
                          "ip addr add 100.128.77.1/24 dev wan0 && ip link set wan0 up && ip link set wan1 up'"));
        // The tables and chains miniupnpd fills by default (its packaged
        // set-up script wants iptables, which we do not need otherwise).
        ASSERT_TRUE(Shell(in + "nft -f - <<'EOF'\n"
                               "table inet filter {\n"
                               "  chain miniupnpd { }\n"
                               "  chain forward { type filter hook forward priority 0; jump miniupnpd; }\n"
                               "  chain prerouting_miniupnpd { }\n"
                               "  chain postrouting_miniupnpd { }\n"
                               "  chain prerouting { type nat hook prerouting priority -100; jump prerouting_miniupnpd; }\n"
                               "  chain postrouting { type nat hook postrouting priority 100; jump postrouting_miniupnpd; }\n"
                               "}\n"
                               "EOF"));
    }
    static void TearDownTestSuite() { Stop(holder); }

    void TearDown() override {
        Stop(daemon);
        if (HasFailure()) {
            QFile log(dir.filePath("miniupnpd.log"));
            if (log.open(QIODevice::ReadOnly)) std::cerr << log.read(16 * 1024).toStdString();
        }
    }

    // A router with an empty table, answering SSDP and SOAP on lan0.
    void StartRouter() {
        ASSERT_TRUE(dir.isValid());
        const QString config = dir.filePath("miniupnpd.conf");
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // secure_mode off: the test maps ports for another LAN client, as a
        // second computer behind the same router would.
        file.write("ext_ifname=wan0\n"
                   "listening_ip=lan0\n"
                   "http_port=5000\n"
                   "enable_natpmp=no\n"
                   "enable_upnp=yes\n"
                   "secure_mode=no\n"
                   "system_uptime=yes\n"
                   "uuid=5c5a1d6e-0b7e-4c8e-9d4e-3c0a7e1f0001\n"
                   "allow 1024-65535 192.168.77.0/24 1024-65535\n"
                   "deny 0-65535 0.0.0.0/0 0-65535\n");
        file.close();
        // miniupnpd reads back the redirections it finds in its chains: a
        // previous test's router leaves them there.
        ASSERT_TRUE(Shell("nsenter -t " + std::to_string(holder) +
                          " -n sh -c 'for c in miniupnpd prerouting_miniupnpd postrouting_miniupnpd; do "
                          "nft flush chain inet filter $c || exit 1; done'"));
        daemon = Spawn({"nsenter", "-t", std::to_string(holder), "-n", "/usr/sbin/miniupnpd", "-d", "-f",
                        config.toStdString()},
                       dir.filePath("miniupnpd.log"));
        for (int i = 0; i < 200; ++i) {
            QTcpSocket probe;
            probe.connectToHost(RouterAddress, RouterHttpPort);
            if (probe.waitForConnected(100)) return;
            QThread::msleep(50);
        }
        FAIL() << "miniupnpd did not start listening";
    }

    static inline pid_t holder = 0;
    pid_t daemon = 0;
    QTemporaryDir dir;
};

TEST_F(UpnpRouter, MapsTheFirstFreeCandidateAndSkipsAnotherClientsPort) {
    StartRouter();
    {
        MiniupnpcRouter router(Discovery);
        ASSERT_TRUE(router.Found());
        EXPECT_EQ(router.LanAddress(), HostAddress);
        ASSERT_TRUE(router.AddMapping(5501, "UDP", 9000, OtherClient, "someone else"));
    }
    int port = 0;
    EXPECT_TRUE(UpnpPortForwarding(Discovery).EnsurePortMapping(port));
    EXPECT_EQ(port, 5502);
    MiniupnpcRouter router(Discovery);
    ExpectForwarded(router, 5502, HostAddress);
    const std::vector<RouterMapping> other = MappingsOf(router, 5501);
    ASSERT_EQ(other.size(), 1u) << "the other client's mapping is left alone";
    EXPECT_EQ(other[0].internalClient, OtherClient);

    // Asked again with the port it stored, nothing changes on the router.
    EXPECT_TRUE(UpnpPortForwarding(Discovery).EnsurePortMapping(port));
    EXPECT_EQ(port, 5502);
    ExpectForwarded(router, 5502, HostAddress);
}

TEST_F(UpnpRouter, EmptyTableGivesTheFirstCandidate) {
    StartRouter();
    int port = 0;
    EXPECT_TRUE(UpnpPortForwarding(Discovery).EnsurePortMapping(port));
    EXPECT_EQ(port, PortMapper::FirstCandidate);
    MiniupnpcRouter router(Discovery);
    ExpectForwarded(router, PortMapper::FirstCandidate, HostAddress);
}

TEST_F(UpnpRouter, StoredPortPointingAtAnotherAddressIsTakenBack) {
    StartRouter();
    {
        MiniupnpcRouter router(Discovery);
        ASSERT_TRUE(router.AddMapping(5600, "TCP", RelayLocalPort, OtherClient, "stale"));
        ASSERT_TRUE(router.AddMapping(5600, "UDP", RelayLocalPort, OtherClient, "stale"));
    }
    int port = 5600;
    EXPECT_TRUE(UpnpPortForwarding(Discovery).EnsurePortMapping(port));
    EXPECT_EQ(port, 5600);
    MiniupnpcRouter router(Discovery);
    ExpectForwarded(router, 5600, HostAddress);
}

TEST_F(UpnpRouter, WithoutARouterARandomPortIsLeftForTheUserToForward) {
    // No miniupnpd: discovery finds nobody within its timeout.
    int port = 0;
    EXPECT_FALSE(UpnpPortForwarding(std::chrono::milliseconds(1000)).EnsurePortMapping(port));
    EXPECT_GE(port, 5500);
    EXPECT_LE(port, 5999);
    EXPECT_EQ(DefaultLanAddress(), HostAddress);

    TRoutingForm form({[port] { return port; }, DefaultLanAddress, {}, "http://site.test"});
    form.show();
    EXPECT_EQ(form.findChild<QLabel*>("lblMessage")->text(),
              QString("Router uPNP disabled. Please log into your router and add UDP port forwarding from public "
                      "port %1 to %2 port 3478, or simply enable uPNP.\n\nThen restart the application.")
                  .arg(port)
                  .arg(HostAddress));
}

// A router that lists a mapping at every index, some of them garbage: the
// listing stops at its bound, drops what is unusable, and the decision still
// comes out right.
TEST_F(UpnpRouter, AHostileRoutersEndlessListIsCutAndItsGarbageDropped) {
    testsupport::HostileIgd igd(holder, RouterAddress);
    ASSERT_TRUE(QTest::qWaitFor([&] { return igd.Ready(); }, 5000));
    MiniupnpcRouter router(Discovery);
    ASSERT_TRUE(router.Found());
    const RouterMappings table = router.Mappings();
    EXPECT_EQ(igd.ListingRequests(), MiniupnpcRouter::MaxListedMappings);
    EXPECT_EQ(table.status, RouterMappings::Status::Listed);
    // Index 0 (port 99999) and index 2 (port 70000) dropped; index 1 kept
    // with its port but no client, as its address is none.
    ASSERT_EQ(table.entries.size(), size_t(MiniupnpcRouter::MaxListedMappings - 2));
    EXPECT_EQ(table.entries[0].externalPort, 5502);
    EXPECT_TRUE(table.entries[0].internalClient.isEmpty());
    EXPECT_EQ(table.entries[1].externalPort, 5504);
    EXPECT_EQ(table.entries[1].internalClient, OtherClient);

    // 5501 was only claimed by the dropped entry, so it counts as free.
    int port = 0;
    EXPECT_TRUE(UpnpPortForwarding(Discovery).EnsurePortMapping(port));
    EXPECT_EQ(port, 5501);
    EXPECT_EQ(igd.AddRequests(), 2);
}

}  // namespace
}  // namespace corvala
