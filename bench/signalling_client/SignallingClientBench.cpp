// The signalling client against crsignal over TLS on loopback:
//   1. time from the first checker run to "joined" (connect, TLS handshake,
//      join), p50 and worst over fresh connections;
//   2. peer messages per second from one client to another with a bounded
//      window in flight, each one read by the receiver's reader thread and
//      handled on its main thread;
//   3. round trip of one peer message there and back, p50 and p99.
// Client, server and reader threads share this machine's cores.
#include "ServerProcess.h"

#include "signalling/SignallingConnection.h"
#include "signalling/SignallingMessage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

using namespace corvala;
using Clock = std::chrono::steady_clock;

namespace {

// Runs the event loop until `condition` holds. Sleeps between events rather
// than spinning, so that the reader threads and crsignal get the cores.
bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 30000) {
    QElapsedTimer t;
    t.start();
    QTimer tick;  // wakes the wait now and then to look at the clock
    tick.start(50);
    while (!condition()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

std::unique_ptr<SignallingConnection> makeClient(std::uint16_t port, const QString& id) {
    SignallingConfig config;
    config.endpoint = {QStringLiteral("127.0.0.1"), port};
    config.rootCertificateFile = QString::fromStdString(testing::PkiFile("ca.pem"));
    config.deviceId = id;
    auto c = std::make_unique<SignallingConnection>(config);
    // Stands in for ClientMessage: every line that is not "joined" counts.
    auto* raw = c.get();
    QObject::connect(raw, &SignallingConnection::lineReceived, raw, [raw](const QByteArray& line) {
        if (line.contains("\"joined\"")) raw->SetJoined();
    });
    return c;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("CORVALA_BIN_DIR", CORVALA_BENCH_BIN_DIR, 0);
    ::setenv("CORVALA_PKI_DIR", CORVALA_BENCH_PKI_DIR, 0);
    QCoreApplication app(argc, argv);
    testing::ServerProcess server("crsignal", {"--port", "0", "--bind", "127.0.0.1", "--cert",
                                               testing::PkiFile("server.pem"), "--key",
                                               testing::PkiFile("server.key")});
    if (server.port() == 0) {
        std::fprintf(stderr, "crsignal did not start\n");
        return 1;
    }

    // 1. Time to join.
    std::vector<double> joinMs;
    for (int i = 0; i < 30; ++i) {
        auto c = makeClient(server.port(), QStringLiteral("1000000%1").arg(i, 2, 10, QChar(u'0')));
        const auto start = Clock::now();
        c->ServerConnectionCheckerTimer();
        if (!spinUntil([&] { return c->FConnectedToSignalServer(); })) {
            std::fprintf(stderr, "join timed out: %s\n", qPrintable(c->LastError()));
            return 1;
        }
        joinMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::printf("join (connect + TLS 1.2 + join): p50 %.2f ms, worst %.2f ms over %zu\n", percentile(joinMs, 0.5),
                percentile(joinMs, 1.0), joinMs.size());

    const QString idA = QStringLiteral("200000001"), idB = QStringLiteral("200000002");
    auto a = makeClient(server.port(), idA);
    auto b = makeClient(server.port(), idB);
    a->ServerConnectionCheckerTimer();
    b->ServerConnectionCheckerTimer();
    if (!spinUntil([&] { return a->FConnectedToSignalServer() && b->FConnectedToSignalServer(); })) return 1;

    // A candidate-sized peer message.
    const QString candidate =
        QStringLiteral("{\"label\":0,\"id\":\"0\",\"candidate\":\"candidate:1 1 UDP 2122252543 192.168.1.20 "
                       "51234 typ host\"}");
    const QByteArray toB = GetMessage(idA, u"message"_qs, idB, u"candidate"_qs, candidate, {}, u"A"_qs, u"42"_qs);
    const QByteArray toA = GetMessage(idB, u"message"_qs, idA, u"candidate"_qs, candidate, {}, u"B"_qs, u"42"_qs);

    // 2. Relay rate with a window of 64 in flight.
    constexpr int Lines = 20000;
    constexpr int Window = 64;
    int sent = 0, handled = 0;
    auto topUp = [&] {
        while (sent < Lines && sent - handled < Window) {
            a->WriteLine(toB);
            ++sent;
        }
    };
    auto rate = QObject::connect(b.get(), &SignallingConnection::lineReceived, [&](const QByteArray&) {
        ++handled;
        topUp();
    });
    const auto rateStart = Clock::now();
    topUp();
    if (!spinUntil([&] { return handled >= Lines; }, 120000)) {
        std::fprintf(stderr, "relay stalled at %d of %d\n", handled, Lines);
        return 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - rateStart).count();
    std::printf("relay A -> crsignal -> B, handled on B's main thread: %.0f messages/s (%d in %.2f s, window %d, "
                "%lld bytes each)\n",
                Lines / seconds, Lines, seconds, Window, static_cast<long long>(toB.size() + 2));
    QObject::disconnect(rate);

    // 3. Round trip A -> B -> A, one at a time.
    constexpr int Trips = 2000;
    std::vector<double> tripMs;
    Clock::time_point tripStart;
    QObject::connect(b.get(), &SignallingConnection::lineReceived, [&](const QByteArray&) { b->WriteLine(toA); });
    QObject::connect(a.get(), &SignallingConnection::lineReceived, [&](const QByteArray&) {
        tripMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - tripStart).count());
        if (tripMs.size() < Trips) {
            tripStart = Clock::now();
            a->WriteLine(toB);
        }
    });
    tripStart = Clock::now();
    a->WriteLine(toB);
    if (!spinUntil([&] { return tripMs.size() >= Trips; }, 120000)) return 1;
    std::printf("round trip A -> B -> A: p50 %.3f ms, p99 %.3f ms over %d\n", percentile(tripMs, 0.5),
                percentile(tripMs, 0.99), Trips);

    a->CloseSignalling();
    b->CloseSignalling();
    return 0;
}
