// crsignal under load, measured from outside over real TLS on loopback:
//   1. joined clients held (time to connect and join them all),
//   2. server memory per held connection,
//   3. relayed messages per second with many pairs sending as fast as the
//      server relays (a bounded window of messages in flight per pair),
//   4. relay latency p50/p99 at a fixed offered load.
// With --servers N (N > 1) it starts a Redis and N crsignal sharing it
// (--redis) and spreads the clients over them in turn, so that the two
// clients of every pair sit on different servers: every message crosses
// servers through Redis.
// Client and server share this machine's cores, so every figure is a lower
// bound for the server alone. Every phase has a time limit; the program
// always ends by itself.
#include "BenchClient.h"
#include "RedisProcess.h"
#include "ServerProcess.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

using signal_bench::Client;
using signal_bench::raiseOpenFileLimit;
using signal_bench::runUntil;

struct Settings {
    int clients = 10000;
    int pairs = 200;
    int window = 16;  // messages in flight per pair
    double throughputSeconds = 5;
    double latencyRate = 10000;  // messages per second
    double latencySeconds = 5;
    int handshakesInFlight = 64;
    int payloadBytes = 200;  // about an ICE candidate line
    int serverThreads = 1;   // crsignal's event loops
    int servers = 1;         // more than one: a cluster over Redis
    // Extra processes that join and hold clients too (a process may have
    // fewer descriptors than the clients to hold); they take part in the
    // first two figures only.
    int helpers = 0;
    int helperClients = 10000;  // each
};

// A helper process: joins `count` clients from index `first`, writes
// "JOINED FAILED" to `report`, and holds them until `hold` closes.
[[noreturn]] void runHelper(const std::vector<tcp::endpoint>& servers, int first, int count, int inFlight, int report,
                            int hold) {
    asio::io_context io(1);
    asio::ssl::context tls(asio::ssl::context::tls_client);
    signal_bench::ConfigureClientTls(tls, corvala::testing::PkiFile("ca.pem"));
    const auto all = signal_bench::JoinAll(io, tls, servers, count, inFlight, 180s, first, 15s);
    const std::string text = std::to_string(all.joined) + " " + std::to_string(all.failed) + "\n";
    if (write(report, text.data(), text.size()) < 0) _exit(1);
    char byte;
    while (read(hold, &byte, 1) > 0) {
    }
    _exit(0);
}

long serverCpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::atol(field.c_str());
        if (i == 15) stime = std::atol(field.c_str());
    }
    return utime + stime;
}

double ownCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The message a pair relays; the payload carries the send time.
std::string relayLine(const Client& from, const Client& to, Clock::time_point sent, int padding) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(sent.time_since_epoch()).count();
    return R"({"msg":"message","from":")" + from.id() + R"(","to":")" + to.id() +
           R"(","type":"candidate","payload":"t)" + std::to_string(ns) + ";" +
           std::string(static_cast<size_t>(padding), 'x') + R"(","password":"","username":"bench","version":"42"})";
}

Clock::time_point sentTime(std::string_view line) {
    const auto at = line.find(R"("payload":"t)");
    if (at == std::string_view::npos) return {};
    return Clock::time_point(std::chrono::nanoseconds(std::atoll(std::string(line.substr(at + 12, 24)).c_str())));
}

double percentile(std::vector<double>& v, double p) {
    if (v.empty()) return 0;
    const auto k = static_cast<size_t>(p * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const double v = std::atof(argv[i + 1]);
        if (flag == "--clients")
            s.clients = static_cast<int>(v);
        else if (flag == "--pairs")
            s.pairs = static_cast<int>(v);
        else if (flag == "--window")
            s.window = static_cast<int>(v);
        else if (flag == "--seconds")
            s.throughputSeconds = s.latencySeconds = v;
        else if (flag == "--rate")
            s.latencyRate = v;
        else if (flag == "--threads")
            s.serverThreads = static_cast<int>(v);
        else if (flag == "--servers")
            s.servers = std::max(1, static_cast<int>(v));
        else if (flag == "--helpers")
            s.helpers = std::max(0, static_cast<int>(v));
        else if (flag == "--helper-clients")
            s.helperClients = std::max(1, static_cast<int>(v));
        else {
            std::cerr << "usage: signal_bench [--clients N] [--pairs N] [--window N] [--seconds S] [--rate MSG/S] [--threads N] [--servers N] [--helpers N] [--helper-clients N]\n";
            return 2;
        }
    }
    s.pairs = std::min(s.pairs, s.clients / 2);
    setenv("CORVALA_BIN_DIR", CORVALA_BENCH_BIN_DIR, 0);
    setenv("CORVALA_PKI_DIR", CORVALA_BENCH_PKI_DIR, 0);
    raiseOpenFileLimit();
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);

    std::unique_ptr<corvala::testing::RedisProcess> redis;
    std::vector<std::string> args{"--port", "0", "--bind", "127.0.0.1", "--cert", corvala::testing::PkiFile("server.pem"),
                                  "--key", corvala::testing::PkiFile("server.key"), "--idle-timeout", "0",
                                  "--max-queue", "16777216", "--threads", std::to_string(s.serverThreads)};
    if (s.servers > 1) {
        redis = std::make_unique<corvala::testing::RedisProcess>();
        if (redis->port() == 0) {
            std::cerr << "redis-server did not start\n";
            return 1;
        }
        args.insert(args.end(), {"--redis", redis->url()});
    }
    std::vector<std::unique_ptr<corvala::testing::ServerProcess>> servers;
    std::vector<tcp::endpoint> endpoints;
    for (int i = 0; i < s.servers; ++i) {
        servers.push_back(std::make_unique<corvala::testing::ServerProcess>("crsignal", args));
        if (servers.back()->port() == 0) {
            std::cerr << "crsignal did not start\n";
            return 1;
        }
        endpoints.emplace_back(asio::ip::make_address("127.0.0.1"), servers.back()->port());
    }
    auto resident = [&] {
        long kib = 0;
        for (const auto& server : servers) kib += server->residentKiB();
        return kib;
    };
    auto serversCpu = [&] {
        long ticks = 0;
        for (const auto& server : servers) ticks += serverCpuTicks(server->pid());
        return ticks;
    };
    const long rssStart = resident();
    std::printf("open-file limit of this process: %llu; crsignal servers: %d, event loops each: %d%s\n",
                static_cast<unsigned long long>(files.rlim_cur), s.servers, s.serverThreads,
                s.servers > 1 ? " (a cluster over one Redis; every pair spans two servers)" : "");

    asio::io_context io(1);
    asio::ssl::context tls(asio::ssl::context::tls_client);
    signal_bench::ConfigureClientTls(tls, corvala::testing::PkiFile("ca.pem"));

    // 1. Connect and join, a bounded number of handshakes at a time.
    int holdPipe[2], reportPipe[2];
    if (pipe(holdPipe) != 0 || pipe(reportPipe) != 0) return 1;
    const auto joinStart = Clock::now();
    for (int h = 0; h < s.helpers; ++h)
        if (fork() == 0) {
            close(holdPipe[1]);
            runHelper(endpoints, s.clients + h * s.helperClients, s.helperClients, s.handshakesInFlight, reportPipe[1],
                      holdPipe[0]);
        }
    close(holdPipe[0]);
    const signal_bench::JoinedClients all =
        signal_bench::JoinAll(io, tls, endpoints, s.clients, s.handshakesInFlight, 180s, 0, 15s);
    const std::vector<std::shared_ptr<Client>>& clients = all.clients;
    int joined = all.joined, failed = all.failed;
    for (int h = 0; h < s.helpers; ++h) {
        // This process's clients keep sending keep-alives meanwhile: a silent
        // client's ID leaves the cluster's registry after the live window.
        for (pollfd ready{reportPipe[0], POLLIN, 0}; poll(&ready, 1, 0) == 0;) io.run_for(100ms);
        char text[64] = {};
        for (size_t n = 0; n + 1 < sizeof text && read(reportPipe[0], text + n, 1) == 1 && text[n] != '\n'; ++n) {
        }
        int j = 0, f = 0;
        std::sscanf(text, "%d %d", &j, &f);
        joined += j;
        failed += f;
    }
    const double joinSeconds = std::chrono::duration<double>(Clock::now() - joinStart).count();
    const int wanted = s.clients + s.helpers * s.helperClients;
    const long rssHeld = resident();
    std::printf("joined TLS clients held: %d of %d (%d failed; %d client processes) in %.1f s (%.0f joins/s)\n",
                joined, wanted, failed, 1 + s.helpers, joinSeconds, joined / joinSeconds);
    std::printf("crsignal resident memory (all servers): %ld KiB idle, %ld KiB with %d clients: %.1f KiB per connection\n", rssStart,
                rssHeld, joined, joined ? double(rssHeld - rssStart) / joined : 0.0);
    close(holdPipe[1]);  // the helpers' clients leave; the figures below use this process's clients
    if (all.joined < 2 * s.pairs) return 1;

    // 2. Throughput: each pair keeps `window` messages in flight.
    long received = 0;
    bool measuring = true;
    for (int p = 0; p < s.pairs; ++p) {
        Client& a = *clients[static_cast<size_t>(2 * p)];
        Client& b = *clients[static_cast<size_t>(2 * p + 1)];
        b.onLine = [&, pa = &a](Client& self, std::string_view) {
            ++received;
            if (measuring) pa->send(relayLine(*pa, self, Clock::now(), s.payloadBytes));
        };
    }
    const long cpuBefore = serversCpu();
    const long redisCpuBefore = redis ? serverCpuTicks(redis->pid()) : 0;
    const double ownBefore = ownCpuSeconds();
    const auto t0 = Clock::now();
    for (int p = 0; p < s.pairs; ++p)
        for (int w = 0; w < s.window; ++w)
            clients[static_cast<size_t>(2 * p)]->send(relayLine(*clients[static_cast<size_t>(2 * p)],
                                                                *clients[static_cast<size_t>(2 * p + 1)], Clock::now(),
                                                                s.payloadBytes));
    const auto measureFor =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s.throughputSeconds));
    runUntil(
        io, [&] { return Clock::now() - t0 >= measureFor; }, measureFor + 5s);
    const long relayed = received;
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = double(serversCpu() - cpuBefore) / double(sysconf(_SC_CLK_TCK));
    const double redisCpu =
        redis ? double(serverCpuTicks(redis->pid()) - redisCpuBefore) / double(sysconf(_SC_CLK_TCK)) : 0.0;
    const double ownCpu = ownCpuSeconds() - ownBefore;
    measuring = false;
    runUntil(
        io, [] { return false; }, 1s);  // let the windows drain
    std::printf(
        "relayed messages per second: %.0f (%ld in %.1f s, %d pairs, window %d, %d-byte payload; crsignal CPU %.0f%%, "
        "redis CPU %.0f%%, bench clients CPU %.0f%% of one core)\n",
        relayed / elapsed, relayed, elapsed, s.pairs, s.window, s.payloadBytes, 100.0 * cpu / elapsed,
        100.0 * redisCpu / elapsed, 100.0 * ownCpu / elapsed);
    // The machine is shared, so the rate above depends on what else runs;
    // the server's own CPU cost per message does not.
    std::printf("crsignal CPU per relayed message: %.1f us (one core would relay about %.0f messages/s)\n",
                relayed ? 1e6 * cpu / double(relayed) : 0.0, cpu > 0 ? double(relayed) / cpu : 0.0);

    // 3. Latency at a fixed offered load, spread over the pairs.
    std::vector<double> latencies;
    latencies.reserve(static_cast<size_t>(s.latencyRate * s.latencySeconds) + 1000);
    for (int p = 0; p < s.pairs; ++p) {
        clients[static_cast<size_t>(2 * p + 1)]->onLine = [&](Client&, std::string_view line) {
            const auto sent = sentTime(line);
            if (sent != Clock::time_point{})
                latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        };
    }
    const long total = static_cast<long>(s.latencyRate * s.latencySeconds);
    long sent = 0;
    asio::steady_timer tick(io);
    const auto l0 = Clock::now();
    std::function<void()> pace = [&] {
        // Open loop: send what the rate asks for by now, however late the tick.
        const double due =
            std::min<double>(total, s.latencyRate * std::chrono::duration<double>(Clock::now() - l0).count());
        while (sent < static_cast<long>(due)) {
            const int p = static_cast<int>(sent % s.pairs);
            Client& a = *clients[static_cast<size_t>(2 * p)];
            a.send(relayLine(a, *clients[static_cast<size_t>(2 * p + 1)], Clock::now(), s.payloadBytes));
            ++sent;
        }
        if (sent < total) {
            tick.expires_after(500us);
            tick.async_wait([&](const asio::error_code& ec) {
                if (!ec) pace();
            });
        }
    };
    pace();
    const auto latencyLimit =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s.latencySeconds)) + 10s;
    runUntil(
        io, [&] { return sent >= total && static_cast<long>(latencies.size()) >= total; }, latencyLimit);
    const double offered = double(sent) / std::chrono::duration<double>(Clock::now() - l0).count();
    std::printf(
        "relay latency at %.0f messages/s offered (%zu of %ld arrived): p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
        offered, latencies.size(), total, percentile(latencies, 0.50), percentile(latencies, 0.99),
        percentile(latencies, 1.0));
    return 0;
}
