// crserver as a process, in this test's own network namespace: what it
// prints for a datagram it cannot parse, how it challenges credentials, which
// peers it refuses, and coturn's client tools relaying through it to
// coturn's echo peer. The peer lives in a second namespace joined to ours by
// a veth pair (10.77.0.1 here, 10.77.0.2 there): an address of this
// namespace would be one of the relay's own, which it refuses by design.
#include "Credentials.h"
#include "ServerProcess.h"
#include "StunMessage.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <asio.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <thread>

namespace corvala::relay {
namespace {

using namespace std::chrono_literals;
using testing::ServerProcess;

const char* const kPublicIp = "10.77.0.1";
const char* const kPeerIp = "10.77.0.2";
constexpr std::uint16_t kPeerPort = 3480;
constexpr std::uint16_t kRelayPort = 3478;
const std::string kUser = "alice";
const std::string kPassword = "s3cret";

std::string NetNamespaceOf(pid_t pid) {
    char link[256] = {};
    const std::string path = pid ? "/proc/" + std::to_string(pid) + "/ns/net" : "/proc/self/ns/net";
    const auto n = readlink(path.c_str(), link, sizeof link - 1);
    return n > 0 ? std::string(link, std::size_t(n)) : std::string();
}

// A UDP socket of the test that sends a datagram and waits for one answer.
class UdpProbe {
public:
    UdpProbe() : socket_(io_, asio::ip::udp::v4()) {}
    void send(const Endpoint& to, ByteView bytes) { socket_.send_to(asio::buffer(bytes.data(), bytes.size()), to); }
    // The next datagram, or nothing when none comes within `limit`.
    std::optional<Bytes> receive(std::chrono::milliseconds limit = 5s) {
        pollfd ready{socket_.native_handle(), POLLIN, 0};
        if (poll(&ready, 1, int(limit.count())) <= 0) return std::nullopt;
        Bytes buffer(65536);
        asio::error_code ec;
        Endpoint from;
        const auto n = socket_.receive_from(asio::buffer(buffer), from, 0, ec);
        if (ec) return std::nullopt;
        buffer.resize(n);
        return buffer;
    }
    std::optional<Bytes> exchange(const Endpoint& to, ByteView bytes) {
        send(to, bytes);
        return receive();
    }

private:
    asio::io_context io_;
    asio::ip::udp::socket socket_;
};

// coturn's echo peer in a namespace of its own, reached over a veth pair.
class EchoPeer {
public:
    EchoPeer() {
        if (std::system("ip link add crrelay0 type veth peer name crpeer0 && ip addr add 10.77.0.1/24 dev crrelay0 && "
                        "ip link set crrelay0 up") != 0)
            return;
        int go[2];
        if (pipe(go) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(go[0], STDIN_FILENO);
            close(go[0]);
            close(go[1]);
            execlp("unshare", "unshare", "-n", "sh", "-c",
                   "read go && ip link set lo up && ip addr add 10.77.0.2/24 dev crpeer0 && ip link set crpeer0 up && "
                   "exec turnutils_peer -L 10.77.0.2 -p 3480 >/dev/null",
                   nullptr);
            _exit(127);
        }
        close(go[0]);
        const std::string ours = NetNamespaceOf(0);
        for (int i = 0; i < 200 && NetNamespaceOf(pid_) == ours; ++i) std::this_thread::sleep_for(20ms);
        const bool moved = std::system(("ip link set crpeer0 netns " + std::to_string(pid_)).c_str()) == 0;
        if (write(go[1], "\n", 1) != 1 || !moved) return;
        close(go[1]);
        // The echo comes back once the peer's side is up and it listens.
        UdpProbe probe;
        const Bytes hello = {'h', 'i'};
        for (int i = 0; i < 20 && !ready_; ++i) ready_ = probe.exchange(Endpoint(asio::ip::make_address(kPeerIp), kPeerPort), hello) == hello;
    }
    ~EchoPeer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

class RelayServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        peer_ = new EchoPeer;
        relay_ = new ServerProcess("crserver", {"-public-ip", kPublicIp, "-port", std::to_string(kRelayPort), "-users",
                                                kUser + "=" + kPassword});
    }
    static void TearDownTestSuite() {
        delete relay_;
        delete peer_;
    }
    void SetUp() override {
        ASSERT_TRUE(peer_->ready()) << "the echo peer's namespace did not come up";
        ASSERT_EQ(relay_->port(), kRelayPort) << "crserver did not start";
    }

    static Endpoint Relay(std::uint16_t port = kRelayPort) { return Endpoint(asio::ip::make_address("127.0.0.1"), port); }

    static TransactionId NewTransaction() {
        static std::uint8_t serial = 0;
        TransactionId id{};
        id.fill(++serial);
        return id;
    }

    // The answer to one request, read as a message (empty when none came or it did not parse).
    static std::optional<Bytes> Ask(UdpProbe& probe, Bytes request, std::uint16_t port = kRelayPort) {
        auto answer = probe.exchange(Relay(port), request);
        if (answer && !StunMessage::Parse(*answer)) return std::nullopt;
        return answer;
    }

    static int ErrorCodeOf(const StunMessage& m) {
        const auto* a = m.find(attr::ErrorCode);
        return a && a->value.size() >= 4 ? a->value[2] * 100 + a->value[3] : 0;
    }

    struct Session {
        std::string nonce;
        IntegrityKey key{};
    };
    // An authenticated request of `method` with the attributes `add` puts in.
    static Bytes Signed(std::uint16_t meth, const Session& s, const std::function<void(StunBuilder&)>& add,
                        const std::string& user = kUser) {
        StunBuilder b(meth, StunClass::Request, NewTransaction());
        add(b);
        b.addText(attr::Username, user).addText(attr::Realm, Credentials::kRealm).addText(attr::Nonce, s.nonce);
        return std::move(b).finish(s.key, true);
    }
    static void UdpTransport(StunBuilder& b) { b.addU32(attr::RequestedTransport, 17u << 24); }

    // Allocates for `probe`; the relayed address, or nothing.
    static std::optional<Endpoint> Allocate(UdpProbe& probe, Session& s, std::uint16_t port = kRelayPort) {
        const auto challenge = Ask(probe, StunBuilder(method::Allocate, StunClass::Request, NewTransaction()).finish({}, true), port);
        if (!challenge) return std::nullopt;
        s.nonce = std::string(*StunMessage::Parse(*challenge)->text(attr::Nonce, 763));
        s.key = LongTermKey(kUser, Credentials::kRealm, kPassword);
        const auto answer = Ask(probe, Signed(method::Allocate, s, UdpTransport), port);
        if (!answer) return std::nullopt;
        return StunMessage::Parse(*answer)->xorAddress(attr::XorRelayedAddress);
    }

    static EchoPeer* peer_;
    static ServerProcess* relay_;
};
EchoPeer* RelayServer::peer_ = nullptr;
ServerProcess* RelayServer::relay_ = nullptr;

constexpr const char* kMarker = "error when handling datagram\n";

TEST_F(RelayServer, EveryUnparsableDatagramPrintsTheMarkerAndNothingElseDoes) {
    UdpProbe probe;
    const Bytes probeText = {'c', 'o', 'r', 'v', 'a', 'l', 'a', ' ', 't', 'u', 'r', 'n', '-', 'c', 'h', 'e', 'c', 'k', '\n'};
    Bytes badCookie = StunBuilder(method::Binding, StunClass::Request, NewTransaction()).finish({}, false);
    badCookie[4] ^= 0xFF;
    const Bytes cases[] = {
        probeText,                        // what the web service's reachability probe sends
        {0xFF},                           // one byte
        badCookie,                        // a STUN header without the magic cookie
        {0x40, 0x01, 0x10, 0x00, 1, 2},  // ChannelData claiming more than it holds
        Bytes(1400, 0x80),               // an RTP-like burst
    };
    for (const auto& garbage : cases) probe.send(Relay(), garbage);
    // Datagrams are handled in order: once the Binding answer is here, every
    // marker of the garbage before it has been written.
    const auto answer = Ask(probe, StunBuilder(method::Binding, StunClass::Request, NewTransaction()).finish({}, false));
    ASSERT_TRUE(answer);
    const auto binding = StunMessage::Parse(*answer);
    EXPECT_EQ(binding->messageClass(), StunClass::Success);
    EXPECT_TRUE(binding->xorAddress(attr::XorMappedAddress));
    // No other test sends the relay anything it cannot parse.
    EXPECT_TRUE(relay_->waitForOutput(kMarker, std::size(cases), 10s));
    EXPECT_FALSE(relay_->waitForOutput(kMarker, std::size(cases) + 1, 300ms)) << "a marker for a valid request";
}

TEST_F(RelayServer, CredentialsAreChallengedAndChecked) {
    UdpProbe probe;
    const auto challenge = Ask(probe, StunBuilder(method::Allocate, StunClass::Request, NewTransaction()).finish({}, false));
    ASSERT_TRUE(challenge);
    const auto first = StunMessage::Parse(*challenge);
    EXPECT_EQ(ErrorCodeOf(*first), 401);
    EXPECT_EQ(first->text(attr::Realm, 763), Credentials::kRealm);
    ASSERT_TRUE(first->text(attr::Nonce, 763));
    const std::string nonce(*first->text(attr::Nonce, 763));
    const auto rightKey = LongTermKey(kUser, Credentials::kRealm, kPassword);

    const struct {
        const char* name;
        std::string user;
        IntegrityKey key;
        std::string nonce;
        int error;  // 0: success
    } cases[] = {
        {"wrong password", kUser, LongTermKey(kUser, Credentials::kRealm, "guess"), nonce, 401},
        {"unknown user", "mallory", LongTermKey("mallory", Credentials::kRealm, kPassword), nonce, 401},
        {"nonce this relay never issued", kUser, rightKey, "0000000000000000deadbeef", 438},
        {"right credentials", kUser, rightKey, nonce, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto answer = Ask(probe, Signed(method::Allocate, Session{c.nonce, c.key}, UdpTransport, c.user));
        ASSERT_TRUE(answer);
        const auto m = StunMessage::Parse(*answer);
        EXPECT_EQ(ErrorCodeOf(*m), c.error);
        if (c.error == 0) {
            EXPECT_EQ(m->messageClass(), StunClass::Success);
            EXPECT_TRUE(m->integrityMatches(rightKey)) << "the answer is signed with the user's key";
            const auto relayed = m->xorAddress(attr::XorRelayedAddress);
            ASSERT_TRUE(relayed);
            EXPECT_EQ(relayed->address().to_string(), kPublicIp);
            EXPECT_EQ(m->u32(attr::Lifetime), 600u);
        } else {
            EXPECT_FALSE(m->hasIntegrity()) << "a challenge carries no integrity";
            EXPECT_TRUE(m->text(attr::Nonce, 763)) << "a challenge carries a fresh nonce";
        }
    }
    // The allocation is released again.
    const auto released = Ask(probe, Signed(method::Refresh, Session{nonce, rightKey}, [](StunBuilder& b) { b.addU32(attr::Lifetime, 0); }));
    ASSERT_TRUE(released);
    EXPECT_EQ(StunMessage::Parse(*released)->messageClass(), StunClass::Success);
}

TEST_F(RelayServer, PeersOnLoopbackUnspecifiedOrTheRelayItselfAreRefused) {
    UdpProbe client, other;
    Session s, otherSession;
    const auto relayed = Allocate(client, s);
    const auto otherRelayed = Allocate(other, otherSession);
    ASSERT_TRUE(relayed && otherRelayed);
    const struct {
        const char* name;
        std::uint16_t method;
        Endpoint peer;
        int error;
    } cases[] = {
        {"permission for loopback", method::CreatePermission, Endpoint(asio::ip::make_address("127.0.0.1"), 22), 403},
        {"permission for another loopback address", method::CreatePermission, Endpoint(asio::ip::make_address("127.1.2.3"), 80), 403},
        {"permission for the unspecified address", method::CreatePermission, Endpoint(asio::ip::make_address("0.0.0.0"), 80), 403},
        {"permission for a service of the relay's host", method::CreatePermission, Endpoint(asio::ip::make_address(kPublicIp), 22), 403},
        {"channel to loopback", method::ChannelBind, Endpoint(asio::ip::make_address("127.0.0.1"), 22), 403},
        {"channel to the relay's TURN port", method::ChannelBind, Endpoint(asio::ip::make_address(kPublicIp), kRelayPort), 403},
        {"permission for another client's relayed address", method::CreatePermission, *otherRelayed, 0},
        {"permission for a peer elsewhere", method::CreatePermission, Endpoint(asio::ip::make_address(kPeerIp), kPeerPort), 0},
        {"channel to a peer elsewhere", method::ChannelBind, Endpoint(asio::ip::make_address(kPeerIp), kPeerPort), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto answer = Ask(client, Signed(c.method, s, [&](StunBuilder& b) {
            if (c.method == method::ChannelBind) b.addU32(attr::ChannelNumber, 0x4000u << 16);
            b.addXorAddress(attr::XorPeerAddress, c.peer);
        }));
        ASSERT_TRUE(answer);
        EXPECT_EQ(ErrorCodeOf(*StunMessage::Parse(*answer)), c.error);
    }
    // Through the channel bound last, the echo peer answers.
    const Bytes ping = {'p', 'i', 'n', 'g'};
    const auto echo = client.exchange(Relay(), EncodeChannelData(0x4000, ping, false));
    ASSERT_TRUE(echo);
    const auto data = ParseChannelData(*echo);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->channel, 0x4000);
    EXPECT_EQ(Bytes(data->data.begin(), data->data.end()), ping);
}

// The reachability proof end to end: the web service's probe, asked for by
// HTTP, makes a relay of its own (beside the suite's) print the marker.
TEST_F(RelayServer, TheWebServicesProbeShowsInTheRelaysOutput) {
    ServerProcess probed("crserver", {"-public-ip", kPublicIp, "-port", "3479", "-users", kUser + "=" + kPassword});
    ASSERT_EQ(probed.port(), 3479);
    ServerProcess web("crweb", {"--port", "0", "--bind", "127.0.0.1"});
    ASSERT_NE(web.port(), 0) << "crweb did not start";
    httplib::Client client("127.0.0.1", web.port());
    const auto answer = client.Get("/turn-check.php?server_ip=127.0.0.1&server_port=3479");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_TRUE(probed.waitForOutput(kMarker, 1, 10s));
}

// The relay runs until it is told to end, then ends cleanly, also with an
// allocation and a TCP client still there.
TEST_F(RelayServer, EndsOnSigtermWithClientsAndAllocations) {
    ServerProcess ending("crserver", {"-public-ip", kPublicIp, "-port", "3481", "-users", kUser + "=" + kPassword});
    ASSERT_EQ(ending.port(), 3481);
    UdpProbe client;
    Session s;
    ASSERT_TRUE(Allocate(client, s, 3481));
    const Endpoint at = Relay(3481);
    const Bytes request = StunBuilder(method::Allocate, StunClass::Request, NewTransaction()).finish({}, false);
    asio::io_context io;
    asio::ip::tcp::socket stream(io);
    stream.connect(asio::ip::tcp::endpoint(at.address(), 3481));
    asio::write(stream, asio::buffer(request));
    std::array<std::uint8_t, 4> head{};
    asio::read(stream, asio::buffer(head));
    EXPECT_EQ(head[0], 0x01) << "an error answer over TCP";
    EXPECT_TRUE(ending.running());
    EXPECT_EQ(ending.terminate(10s), 0);
}

// turnutils_uclient's summary: messages sent and received, lost packets.
struct ClientRun {
    long sent = -1, received = -1, lost = -1;
};
ClientRun RunClient(const std::string& flags, int messages, int clients) {
    const std::string command = "timeout 60 turnutils_uclient -c -n " + std::to_string(messages) + " -m " + std::to_string(clients) +
                                " -l 400 -u " + kUser + " -w " + kPassword + " -e " + kPeerIp + " -r " + std::to_string(kPeerPort) +
                                " " + flags + " " + kPublicIp + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    while (const auto n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
    ClientRun run;
    std::smatch m;
    // The last totals line holds the whole run.
    const std::regex totals(R"(tot_send_msgs=(\d+), tot_recv_msgs=(\d+))");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), totals); it != std::sregex_iterator(); ++it) {
        run.sent = std::stol((*it)[1]);
        run.received = std::stol((*it)[2]);
    }
    if (std::regex_search(out, m, std::regex(R"(Total lost packets (\d+))"))) run.lost = std::stol(m[1]);
    if (run.sent < 0) std::fprintf(stderr, "%s\n", out.c_str());
    return run;
}

TEST_F(RelayServer, CoturnClientToolsRelayThroughIt) {
    const struct {
        const char* name;
        const char* flags;
    } cases[] = {
        {"UDP, channels", ""},
        {"UDP, Send and Data indications", "-s"},
        {"TCP, channels", "-t"},
        {"TCP, Send and Data indications", "-t -s"},
    };
    constexpr int kMessages = 40, kClients = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ClientRun run = RunClient(c.flags, kMessages, kClients);
        EXPECT_EQ(run.sent, kMessages * kClients);
        EXPECT_EQ(run.received, kMessages * kClients);
        EXPECT_EQ(run.lost, 0);
    }
    // Wrong credentials: nothing gets through.
    const std::string wrong = "timeout 30 turnutils_uclient -c -n 5 -m 1 -u " + kUser + " -w wrong -e " + kPeerIp + " " +
                              kPublicIp + " 2>&1";
    FILE* p = popen(wrong.c_str(), "r");
    std::string out;
    char buf[4096];
    while (const auto n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
    EXPECT_EQ(out.find("tot_recv_msgs=5"), std::string::npos) << out;
    EXPECT_NE(out.find("Cannot complete Allocation"), std::string::npos) << out;
}

// Requests without credentials cannot make the relay answer without bound:
// their source may be forged, and a challenge is larger than the request.
TEST_F(RelayServer, AnswersToUnauthenticatedRequestsAreBoundedPerSource) {
    UdpProbe flood;
    constexpr int kRequests = 200;
    for (int i = 0; i < kRequests; ++i)
        flood.send(Relay(), StunBuilder(method::Allocate, StunClass::Request, NewTransaction()).finish({}, false));
    int answers = 0;
    while (flood.receive(1s)) ++answers;
    EXPECT_GE(answers, 1);
    EXPECT_LE(answers, 60) << "the budget is 20 a second per source";
}

}  // namespace
}  // namespace corvala::relay
