// crsignal under load with faults, measured from outside over real TLS on
// loopback: 10,000 joined clients, of which 10 % drop their connection
// without a word (as a crashed program or a lost network does) and join
// again under the same ID, over and over, while stable pairs relay numbered
// messages and other stable clients write to the churning ones. Every client
// sends the keep-alive every 15 s, so the server runs with its own timeouts.
//
// Prints: messages lost, duplicated or out of order between live clients
// (the run fails unless all are zero), churn cycles done and joins refused
// by the live-ID rule, messages to churning clients delivered or answered
// "invalid_id", and crsignal's resident memory sampled every second.
// Loopback is exempt from the per-address limits unless --limit-loopback:
// the figures are those of the server's own bookkeeping, not of its refusals.
#include "BenchClient.h"
#include "ServerProcess.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

using signal_bench::Client;
using signal_bench::Clock;
using signal_bench::runUntil;
using signal_bench::tcp;
using namespace std::chrono_literals;

struct Settings {
    int clients = 10000;
    int churnPercent = 10;
    int pairs = 200;
    double pairRate = 20;      // messages per second from each pair's sender
    double seconds = 60;       // length of the churn
    int writersToChurn = 100;  // stable clients writing to churning ones, 10 messages/s each
    int handshakesInFlight = 64;
};

// A message with its pair and sequence number in the payload.
std::string Numbered(const Client& from, const Client& to, int pair, long sequence) {
    return R"({"msg":"message","from":")" + from.id() + R"(","to":")" + to.id() +
           R"(","type":"candidate","payload":"p)" + std::to_string(pair) + ":" + std::to_string(sequence) +
           R"(","password":"","username":"bench","version":"42"})";
}

bool ReadNumbered(std::string_view line, int& pair, long& sequence) {
    const auto at = line.find(R"("payload":"p)");
    if (at == std::string_view::npos) return false;
    return std::sscanf(std::string(line.substr(at + 12, 32)).c_str(), "%d:%ld", &pair, &sequence) == 2;
}

struct PairCount {
    long sent = 0;
    long next = 0;  // the sequence number expected next
    long received = 0;
    long gaps = 0;
    long duplicatesOrReordered = 0;
};

int Usage() {
    std::cerr << "usage: signal_fault_bench [--clients N] [--churn-percent P] [--pairs N] [--rate MSG/S]"
                 " [--seconds S] [--limit-loopback]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    bool limitLoopback = false;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--limit-loopback") {
            limitLoopback = true;
            continue;
        }
        const bool hasValue = i + 1 < argc;
        const double v = hasValue ? std::atof(argv[++i]) : 0;
        if (!hasValue) return Usage();
        if (flag == "--clients")
            s.clients = static_cast<int>(v);
        else if (flag == "--churn-percent")
            s.churnPercent = static_cast<int>(v);
        else if (flag == "--pairs")
            s.pairs = static_cast<int>(v);
        else if (flag == "--rate")
            s.pairRate = v;
        else if (flag == "--seconds")
            s.seconds = v;
        else
            return Usage();
    }
    setenv("CORVALA_BIN_DIR", CORVALA_BENCH_BIN_DIR, 0);
    setenv("CORVALA_PKI_DIR", CORVALA_BENCH_PKI_DIR, 0);
    signal_bench::raiseOpenFileLimit();

    std::vector<std::string> args = {"--port", "0",
                                     "--bind", "127.0.0.1",
                                     "--cert", corvala::testing::PkiFile("server.pem"),
                                     "--key",  corvala::testing::PkiFile("server.key")};
    if (limitLoopback) args.push_back("--limit-loopback");
    corvala::testing::ServerProcess server("crsignal", args);
    if (server.port() == 0) {
        std::cerr << "crsignal did not start\n";
        return 1;
    }
    const long rssIdle = server.residentKiB();

    asio::io_context io(1);
    asio::ssl::context tls(asio::ssl::context::tls_client);
    signal_bench::ConfigureClientTls(tls, corvala::testing::PkiFile("ca.pem"));
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), server.port());

    signal_bench::JoinedClients all = signal_bench::JoinAll(io, tls, endpoint, s.clients, s.handshakesInFlight, 300s);
    std::vector<std::shared_ptr<Client>>& clients = all.clients;
    std::printf("joined TLS clients: %d of %d (%d failed) in %.1f s; crsignal %ld KiB idle, %ld KiB holding them\n",
                all.joined, s.clients, all.failed, all.seconds, rssIdle, server.residentKiB());
    const int churning = s.clients * s.churnPercent / 100;
    const int stable = s.clients - churning;
    s.pairs = std::min(s.pairs, (stable - s.writersToChurn) / 2);
    if (all.failed > 0 || s.pairs <= 0 || churning <= 0) return 1;

    std::mt19937 random(7);
    bool running = true;

    // Stable pairs: client 2p sends numbered messages to client 2p+1.
    std::vector<PairCount> pairs(static_cast<std::size_t>(s.pairs));
    for (int p = 0; p < s.pairs; ++p) {
        clients[static_cast<std::size_t>(2 * p + 1)]->onLine = [&](Client&, std::string_view line) {
            int pair = 0;
            long sequence = 0;
            if (!ReadNumbered(line, pair, sequence) || pair < 0 || pair >= s.pairs) return;
            PairCount& c = pairs[static_cast<std::size_t>(pair)];
            ++c.received;
            if (sequence == c.next)
                ++c.next;
            else if (sequence > c.next)
                c.gaps += sequence - c.next, c.next = sequence + 1;
            else
                ++c.duplicatesOrReordered;
        };
    }

    // Churning clients: dropped after 0.5 to 3 s, made again under the same
    // ID at once; a refused join is tried again 200 ms later.
    long cycles = 0, refused = 0, deliveredToChurn = 0, invalidIds = 0;
    std::vector<std::unique_ptr<asio::steady_timer>> churnTimers;
    std::function<void(int)> scheduleDrop, rejoin;
    auto countDelivery = [&](Client&, std::string_view) { ++deliveredToChurn; };
    scheduleDrop = [&](int index) {
        auto& timer = *churnTimers[static_cast<std::size_t>(index - stable)];
        timer.expires_after(std::chrono::milliseconds(std::uniform_int_distribution<int>(500, 3000)(random)));
        timer.async_wait([&, index](const asio::error_code& ec) {
            if (ec || !running) return;
            clients[static_cast<std::size_t>(index)]->drop();
            ++cycles;
            rejoin(index);
        });
    };
    rejoin = [&](int index) {
        auto c = std::make_shared<Client>(io, tls, index);
        c->onLine = countDelivery;
        c->onJoined = [&, index](Client&, bool ok) {
            if (!running) return;
            if (ok) return scheduleDrop(index);
            ++refused;
            auto& timer = *churnTimers[static_cast<std::size_t>(index - stable)];
            timer.expires_after(200ms);
            timer.async_wait([&, index](const asio::error_code& ec) {
                if (!ec && running) rejoin(index);
            });
        };
        clients[static_cast<std::size_t>(index)] = c;
        c->start(endpoint);
    };
    for (int i = stable; i < s.clients; ++i) {
        churnTimers.push_back(std::make_unique<asio::steady_timer>(io));
        clients[static_cast<std::size_t>(i)]->onLine = countDelivery;
        scheduleDrop(i);
    }
    // Writers to churning clients learn of the absent ones by "invalid_id".
    const int firstWriter = 2 * s.pairs;
    for (int w = 0; w < s.writersToChurn; ++w)
        clients[static_cast<std::size_t>(firstWriter + w)]->onLine = [&](Client&, std::string_view line) {
            if (line.find(R"("msg":"invalid_id")") != std::string_view::npos) ++invalidIds;
        };

    // One tick every 10 ms: the pairs' messages at their rate, the writers'
    // messages, a fifteenth of the keep-alives each second, and the memory.
    std::vector<long> rss;
    long sentToChurn = 0;
    asio::steady_timer tick(io);
    const auto start = Clock::now();
    const auto churnFor = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s.seconds));
    long ticks = 0;
    std::function<void()> onTick = [&] {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        for (int p = 0; p < s.pairs; ++p) {
            PairCount& c = pairs[static_cast<std::size_t>(p)];
            while (c.sent < static_cast<long>(s.pairRate * elapsed)) {
                Client& a = *clients[static_cast<std::size_t>(2 * p)];
                a.send(Numbered(a, *clients[static_cast<std::size_t>(2 * p + 1)], p, c.sent++));
            }
        }
        if (ticks % 10 == 0)
            for (int w = 0; w < s.writersToChurn; ++w) {
                Client& writer = *clients[static_cast<std::size_t>(firstWriter + w)];
                const int to = stable + std::uniform_int_distribution<int>(0, churning - 1)(random);
                writer.send(Numbered(writer, *clients[static_cast<std::size_t>(to)], -1, sentToChurn++));
            }
        if (ticks % 100 == 0) {
            rss.push_back(server.residentKiB());
            const long second = ticks / 100;
            for (int i = 0; i < s.clients; ++i)
                if (i % 15 == second % 15) clients[static_cast<std::size_t>(i)]->send("p");
        }
        ++ticks;
        if (Clock::now() - start < churnFor) {
            tick.expires_after(10ms);
            tick.async_wait([&](const asio::error_code& ec) {
                if (!ec) onTick();
            });
        }
    };
    onTick();
    runUntil(
        io, [&] { return Clock::now() - start >= churnFor; }, churnFor + 30s);
    running = false;
    runUntil(
        io, [] { return false; }, 3s);  // the last messages drain

    long sent = 0, received = 0, gaps = 0, reordered = 0;
    for (const PairCount& c : pairs) {
        sent += c.sent;
        received += c.received;
        gaps += c.gaps + (c.sent - c.next);
        reordered += c.duplicatesOrReordered;
    }
    const double seconds = std::chrono::duration<double>(churnFor).count();
    std::printf(
        "churn: %d of %d clients dropping and joining again, %ld cycles in %.0f s (%.0f/s), %ld joins "
        "refused and retried\n",
        churning, s.clients, cycles, seconds, cycles / seconds, refused);
    std::printf(
        "between live clients: %ld messages sent, %ld received, %ld lost, %ld duplicated or out of order "
        "(%d pairs at %.0f/s)\n",
        sent, received, gaps, reordered, s.pairs, s.pairRate);
    std::printf("to churning clients: %ld sent, %ld delivered, %ld answered invalid_id\n", sentToChurn,
                deliveredToChurn, invalidIds);
    if (!rss.empty()) {
        const std::size_t quarter = rss.size() / 4;
        std::printf(
            "crsignal resident memory during the churn (KiB): start %ld, 25%% %ld, 50%% %ld, 75%% %ld, end %ld, "
            "max %ld; from 25%% to the end %+ld KiB\n",
            rss.front(), rss[quarter], rss[rss.size() / 2], rss[3 * rss.size() / 4], rss.back(),
            *std::max_element(rss.begin(), rss.end()), rss.back() - rss[quarter]);
    }
    return gaps == 0 && reordered == 0 && received == sent ? 0 : 1;
}
