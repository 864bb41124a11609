// The signalling connection against the real crsignal over TLS, and against
// a tiny fake TLS server for what crsignal never does. Runs in a network
// namespace of its own with only loopback (main() of corvala_e2e_support).
#include "FakeTlsServer.h"
#include "ServerProcess.h"
#include "TlsLineClient.h"

#include "base/ProcessState.h"
#include "signalling/ClientMessage.h"
#include "signalling/SignallingConnection.h"
#include "signalling/SignallingMessage.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <set>

using namespace corvala;
using namespace corvala::testing;
using namespace std::chrono_literals;

namespace {

class QtApplication : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "signalling_connection_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QCoreApplication> app_;
};
[[maybe_unused]] auto* const qtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

// Generous: these waits end as soon as the condition holds.
constexpr int Patience = 30000;

const QString OwnId = u"123456789"_qs;
const QString OtherId = u"987654321"_qs;

std::string text(const QByteArray& b) { return b.toStdString(); }

// A client as the main window wires it: received lines go through
// ClientMessage, whose "joined" marks the link joined and whose peer messages
// are recorded here.
struct Client : IClientMessageEvents {
    explicit Client(std::uint16_t port, SignallingTimings timings = fastTimings()) {
        SignallingConfig config;
        config.endpoint = {u"127.0.0.1"_qs, port};
        config.rootCertificateFile = QString::fromStdString(PkiFile("ca.pem"));
        config.deviceId = OwnId;
        config.timings = timings;
        connection = std::make_unique<SignallingConnection>(config);
        dispatch = std::make_unique<ClientMessage>(*this);
        QObject::connect(connection.get(), &SignallingConnection::lineReceived,
                         [this](const QByteArray& line) { (*dispatch)(line); });
        QObject::connect(connection.get(), &SignallingConnection::linkLost, [this] { ++losses; });
        QObject::connect(connection.get(), &SignallingConnection::connectAttemptFinished,
                         [this](bool ok) { ++(ok ? connects : failures); });
    }
    void SignallingInvalidId() override {}
    void SignallingJoined() override {
        ++joins;
        connection->SetJoined();
    }
    void ApplyIceServerFromPayload(const IceServer&, bool) override {}
    void SendInitAfterPublicTurn(bool) override {}
    void HandlePeerMessage(const QJsonObject& o) override { peerMessages << Envelope::FromObject(o); }

    static SignallingTimings fastTimings() {
        SignallingTimings t;
        t.checkerPeriod = 500ms;
        return t;
    }
    void start() { connection->ServerConnectionCheckerTimer(); }
    bool waitJoined() {
        return QTest::qWaitFor([&] { return connection->FConnectedToSignalServer(); }, Patience);
    }
    bool waitPeerMessage(const QString& type) {
        return QTest::qWaitFor(
            [&] {
                for (const auto& e : peerMessages)
                    if (e.type == type) return true;
                return false;
            },
            Patience);
    }

    std::unique_ptr<SignallingConnection> connection;
    std::unique_ptr<ClientMessage> dispatch;
    QList<Envelope> peerMessages;
    int joins = 0;
    int losses = 0;
    int connects = 0;
    int failures = 0;
};

std::vector<std::string> crsignalArgs(std::uint16_t port, const std::string& certName) {
    return {"--port", std::to_string(port), "--bind", "127.0.0.1", "--cert", PkiFile(certName + ".pem"),
            "--key", PkiFile(certName + ".key")};
}

// A second device on the same server, joined under OtherId.
std::unique_ptr<TlsLineClient> joinedRawPeer(std::uint16_t port) {
    auto peer = std::make_unique<TlsLineClient>();
    EXPECT_TRUE(peer->connect(port, PkiFile("ca.pem")));
    EXPECT_TRUE(peer->writeLine(text(GetMessage(OtherId, u"join"_qs, {}, {}, OtherId))));
    const auto answer = peer->readLine();
    EXPECT_TRUE(answer && answer->find("\"joined\"") != std::string::npos);
    return peer;
}

std::string peerMessageTo(const QString& to, const char* type) {
    return text(GetMessage(OtherId, u"message"_qs, to, QString::fromLatin1(type), {}, u"secret"_qs, u"Other"_qs,
                           u"42"_qs));
}

class SignallingConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { processState().EventsSuspended = false; }
    void TearDown() override { processState().EventsSuspended = false; }
};

TEST_F(SignallingConnectionTest, JoinsUnderItsDeviceIdAndExchangesPeerMessages) {
    ServerProcess server("crsignal", crsignalArgs(0, "server"));
    ASSERT_NE(server.port(), 0);
    Client client(server.port());
    client.start();
    ASSERT_TRUE(client.waitJoined()) << client.connection->LastError().toStdString();
    EXPECT_EQ(client.connection->State(), SignallingConnection::LinkState::Joined);
    EXPECT_TRUE(client.connection->ServerConnectionChecker().isActive());

    // The server delivers to OwnId only if the client joined under it.
    auto peer = joinedRawPeer(server.port());
    ASSERT_TRUE(peer->writeLine(peerMessageTo(OwnId, "init")));
    ASSERT_TRUE(client.waitPeerMessage(u"init"_qs));
    EXPECT_EQ(client.peerMessages.first().from, OtherId);
    EXPECT_EQ(client.peerMessages.first().password, u"secret");

    // And the other way round, after several keep-alives have gone out.
    const int connectsBefore = client.connects;
    QTest::qWait(1600);  // lets three checker periods pass; nothing is synchronised on it
    ASSERT_TRUE(client.connection->WriteLine(
        GetMessage(OwnId, u"message"_qs, OtherId, u"turn"_qs, u"{}"_qs, {}, u"Own"_qs, u"42"_qs)));
    const auto relayed = peer->readLine();
    ASSERT_TRUE(relayed);
    EXPECT_NE(relayed->find("\"from\":\"123456789\""), std::string::npos) << *relayed;
    EXPECT_EQ(client.connects, connectsBefore) << "the keep-alive must not disturb a healthy link";
    EXPECT_EQ(client.losses, 0);
}

TEST_F(SignallingConnectionTest, JoinsAgainWithinTwoCheckerPeriodsAfterTheServerRestarts) {
    auto server = std::make_unique<ServerProcess>("crsignal", crsignalArgs(0, "server"));
    const std::uint16_t port = server->port();
    ASSERT_NE(port, 0);
    Client client(port);
    client.start();
    ASSERT_TRUE(client.waitJoined());

    server.reset();  // SIGTERM
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.connection->FConnectedToSignalServer(); }, Patience));
    EXPECT_EQ(client.losses, 1);
    // Let at least one attempt fail against the stopped server.
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.failures >= 1; }, Patience));

    server = std::make_unique<ServerProcess>("crsignal", crsignalArgs(port, "server"));
    ASSERT_EQ(server->port(), port);
    // Attempts begin once per checker period; every attempt that starts from
    // now on finds the server up, so counting them measures the periods.
    const int attemptsBefore = client.connection->ConnectAttempts();
    ASSERT_TRUE(client.waitJoined()) << client.connection->LastError().toStdString();
    EXPECT_LE(client.connection->ConnectAttempts() - attemptsBefore, 2);

    auto peer = joinedRawPeer(port);
    ASSERT_TRUE(peer->writeLine(peerMessageTo(OwnId, "init")));
    EXPECT_TRUE(client.waitPeerMessage(u"init"_qs)) << "joined again under the same ID";
}

TEST_F(SignallingConnectionTest, ALinkThatIsNotAnsweredJoinedIsNeitherPingedNorReconnected) {
    std::atomic<bool> answerNow{false};
    std::atomic<int> linesWhileJoining{0};
    std::atomic<int> keepAlives{0};
    FakeTlsServer server(PkiFile("server.pem"), PkiFile("server.key"), [&](FakeTlsPeer& peer, int) {
        peer.readLine();  // join
        while (!answerNow)
            if (peer.readLine(50ms)) ++linesWhileJoining;
        peer.write(JoinedLine);
        for (auto line = peer.readLine(); line; line = peer.readLine())
            if (*line == "p") ++keepAlives;
    });
    Client client(server.port());
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.connects == 1; }, Patience));
    EXPECT_EQ(client.connection->State(), SignallingConnection::LinkState::Joining);
    QTest::qWait(2600);  // five checker periods; only gives a wrong ping or reconnect the chance to happen
    EXPECT_TRUE(client.connection->ServerConnectionChecker().isActive());
    EXPECT_EQ(client.connection->State(), SignallingConnection::LinkState::Joining);
    EXPECT_EQ(linesWhileJoining, 0) << "pinged before joined";
    EXPECT_EQ(client.connection->ConnectAttempts(), 1);
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_EQ(client.losses, 0);

    // The same link, answered late, is joined and kept alive from then on.
    answerNow = true;
    ASSERT_TRUE(client.waitJoined());
    EXPECT_TRUE(QTest::qWaitFor([&] { return keepAlives >= 2; }, Patience));
    EXPECT_EQ(client.connection->ConnectAttempts(), 1);
}

TEST_F(SignallingConnectionTest, NeverJoinsAServerCertifiedByAnotherRoot) {
    ServerProcess server("crsignal", crsignalArgs(0, "other-server"));
    ASSERT_NE(server.port(), 0);
    Client client(server.port());
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.failures >= 3; }, Patience));
    EXPECT_EQ(client.connects, 0);
    EXPECT_EQ(client.joins, 0);
    EXPECT_EQ(client.connection->State(), SignallingConnection::LinkState::Down);
    EXPECT_TRUE(client.connection->LastError().contains(u"certificate"))
        << client.connection->LastError().toStdString();
}

TEST_F(SignallingConnectionTest, AnOverLongLineDropsTheLinkAndTheClientJoinsAgain) {
    FakeTlsServer server(PkiFile("server.pem"), PkiFile("server.key"), [](FakeTlsPeer& peer, int index) {
        const auto join = peer.readLine();
        if (!join || join->find("\"join\"") == std::string::npos) return;
        peer.write(JoinedLine);
        if (index == 0) {
            // Over the limit, then a line that must not be taken for a message.
            peer.write(std::string(20000, 'x') + "\r\n" + peerMessageTo(OwnId, "swallowed") + "\r\n");
        } else {
            peer.write(peerMessageTo(OwnId, "init") + "\r\n");
        }
        peer.waitClosed();
    });
    Client client(server.port());
    client.start();
    ASSERT_TRUE(client.waitPeerMessage(u"init"_qs)) << "the client stayed deaf after the over-long line";
    EXPECT_EQ(client.losses, 1);
    EXPECT_EQ(client.joins, 2);
    for (const auto& e : client.peerMessages) EXPECT_NE(e.type, u"swallowed");
}

TEST_F(SignallingConnectionTest, LinesWrittenFromSeveralThreadsArriveWhole) {
    constexpr int Threads = 4;
    constexpr int LinesEach = 200;
    std::mutex mutex;
    std::vector<std::string> received;
    std::atomic<bool> allIn{false};
    FakeTlsServer server(PkiFile("server.pem"), PkiFile("server.key"), [&](FakeTlsPeer& peer, int) {
        peer.readLine();  // join
        peer.write(JoinedLine);
        int got = 0;
        while (got < Threads * LinesEach) {
            const auto line = peer.readLine();
            if (!line) break;
            if (*line == "p") continue;
            std::lock_guard lock(mutex);
            received.push_back(*line);
            ++got;
        }
        allIn = true;
        peer.waitClosed();
    });
    Client client(server.port());
    client.start();
    ASSERT_TRUE(client.waitJoined());

    // Long lines so that one line takes several socket writes.
    auto lineOf = [](int t, int i) {
        return text(GetMessage(OwnId, u"message"_qs, OtherId, u"candidate"_qs,
                               QString(3000 + 7 * i, QChar(u'a' + t)), {}, QString::number(i), u"42"_qs));
    };
    std::atomic<int> failedWrites{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < LinesEach; ++i)
                if (!client.connection->WriteLine(QByteArray::fromStdString(lineOf(t, i)))) ++failedWrites;
        });
    for (auto& w : writers) w.join();
    EXPECT_EQ(failedWrites, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return allIn.load(); }, Patience));

    std::multiset<std::string> expected;
    for (int t = 0; t < Threads; ++t)
        for (int i = 0; i < LinesEach; ++i) expected.insert(lineOf(t, i));
    std::lock_guard lock(mutex);
    // Counted rather than compared whole: a failure would print megabytes.
    int mangled = 0;
    for (const auto& line : received) {
        const auto it = expected.find(line);
        if (it == expected.end()) ++mangled;
        else expected.erase(it);
    }
    EXPECT_EQ(mangled, 0) << "lines that arrived cut or mixed";
    EXPECT_EQ(expected.size(), 0u) << "lines that never arrived whole";
}

TEST_F(SignallingConnectionTest, CloseSequenceEndsTheReaderEvenWithALineOnItsWay) {
    std::atomic<bool> sawClose{false};
    std::atomic<bool> sendNow{false};
    FakeTlsServer server(PkiFile("server.pem"), PkiFile("server.key"), [&](FakeTlsPeer& peer, int) {
        peer.readLine();
        peer.write(JoinedLine);
        while (!sendNow) std::this_thread::sleep_for(5ms);
        peer.write(peerMessageTo(OwnId, "late") + "\r\n");
        sawClose = peer.waitClosed();
    });
    Client client(server.port());
    client.start();
    ASSERT_TRUE(client.waitJoined());
    ASSERT_TRUE(client.connection->ReaderRunning());
    EXPECT_EQ(TIdReadThread::LiveCount(), 1);

    // Whether the line is still in the socket or already waits for the main
    // thread, closing must end the reader and never deliver the line after.
    sendNow = true;
    processState().EventsSuspended = true;
    client.connection->CloseSignalling();
    EXPECT_FALSE(client.connection->ReaderRunning());
    EXPECT_EQ(TIdReadThread::LiveCount(), 0);
    EXPECT_FALSE(client.connection->FConnectedToSignalServer());
    EXPECT_EQ(client.connection->State(), SignallingConnection::LinkState::Down);
    QTest::qWait(200);  // only gives a wrongly queued line the chance to show up
    EXPECT_TRUE(client.peerMessages.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return sawClose.load(); }, Patience));

    // The checker stays quiet after close.
    processState().EventsSuspended = false;
    const int attempts = client.connection->ConnectAttempts();
    client.connection->ServerConnectionCheckerTimer();
    client.connection->SetJoined();
    EXPECT_EQ(client.connection->ConnectAttempts(), attempts);
    EXPECT_FALSE(client.connection->ServerConnectionChecker().isActive());
}

TEST_F(SignallingConnectionTest, CloseCancelsAConnectAttemptStuckInTheHandshake) {
    // A listener that never accepts: the kernel completes TCP, TLS never starts.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);

    SignallingTimings timings = Client::fastTimings();
    timings.connectTimeout = std::chrono::hours(1);
    {
        Client client(ntohs(a.sin_port), timings);
        client.start();
        EXPECT_EQ(client.connection->CheckerTag(), 1) << "the attempt keeps the checker busy";
        client.connection->ServerConnectionCheckerTimer();  // a second run while busy does nothing
        EXPECT_EQ(client.connection->ConnectAttempts(), 1);
        client.connection->CloseSignalling();  // must return without waiting for the hour
        EXPECT_EQ(client.connection->CheckerTag(), 0);
        EXPECT_EQ(client.connects, 0);
    }
    ::close(fd);
}

TEST_F(SignallingConnectionTest, LinesAreDroppedWhileEventsAreSuspended) {
    std::atomic<bool> sendNow{false};
    FakeTlsServer server(PkiFile("server.pem"), PkiFile("server.key"), [&](FakeTlsPeer& peer, int) {
        peer.readLine();
        peer.write(JoinedLine);
        while (!sendNow) std::this_thread::sleep_for(5ms);
        peer.write(peerMessageTo(OwnId, "dropped") + "\r\n");
        for (auto line = peer.readLine(); line && *line != "go"; line = peer.readLine()) {
        }
        peer.write(peerMessageTo(OwnId, "kept") + "\r\n");
        peer.waitClosed();
    });
    Client client(server.port());
    client.start();
    ASSERT_TRUE(client.waitJoined());
    const int before = client.connection->ReceivedLines();
    processState().EventsSuspended = true;
    sendNow = true;
    // The reader keeps reading while suspended; the line reaches the main
    // thread and goes nowhere.
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.connection->ReceivedLines() == before + 1; }, Patience));
    processState().EventsSuspended = false;
    ASSERT_TRUE(client.connection->WriteLine("go"));
    ASSERT_TRUE(client.waitPeerMessage(u"kept"_qs));
    ASSERT_EQ(client.peerMessages.size(), 1);
}

}  // namespace
