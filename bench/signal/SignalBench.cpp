// crsignal under load, measured from outside over real TLS on loopback:
//   1. joined clients held (time to connect and join them all),
//   2. server memory per held connection,
//   3. relayed messages per second with many pairs sending as fast as the
//      server relays (a bounded window of messages in flight per pair),
//   4. relay latency p50/p99 at a fixed offered load.
// Client and server share this machine's cores, so every figure is a lower
// bound for the server alone. Every phase has a time limit; the program
// always ends by itself.
#include "BenchClient.h"
#include "ServerProcess.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

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
};

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
        else {
            std::cerr << "usage: signal_bench [--clients N] [--pairs N] [--window N] [--seconds S] [--rate MSG/S] [--threads N]\n";
            return 2;
        }
    }
    s.pairs = std::min(s.pairs, s.clients / 2);
    setenv("CORVALA_BIN_DIR", CORVALA_BENCH_BIN_DIR, 0);
    setenv("CORVALA_PKI_DIR", CORVALA_BENCH_PKI_DIR, 0);
    raiseOpenFileLimit();
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);

    corvala::testing::ServerProcess server(
        "crsignal", {"--port", "0", "--bind", "127.0.0.1", "--cert", corvala::testing::PkiFile("server.pem"), "--key",
                     corvala::testing::PkiFile("server.key"), "--idle-timeout", "0", "--max-queue", "16777216",
                     "--threads", std::to_string(s.serverThreads)});
    if (server.port() == 0) {
        std::cerr << "crsignal did not start\n";
        return 1;
    }
    const long rssStart = server.residentKiB();
    std::printf("open-file limit of this process: %llu; crsignal event loops: %d\n",
                static_cast<unsigned long long>(files.rlim_cur), s.serverThreads);

    asio::io_context io(1);
    asio::ssl::context tls(asio::ssl::context::tls_client);
    signal_bench::ConfigureClientTls(tls, corvala::testing::PkiFile("ca.pem"));
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), server.port());

    // 1. Connect and join, a bounded number of handshakes at a time.
    const signal_bench::JoinedClients all =
        signal_bench::JoinAll(io, tls, endpoint, s.clients, s.handshakesInFlight, 180s);
    const std::vector<std::shared_ptr<Client>>& clients = all.clients;
    const int joined = all.joined, failed = all.failed;
    const double joinSeconds = all.seconds;
    const long rssHeld = server.residentKiB();
    std::printf("joined TLS clients held: %d of %d (%d failed) in %.1f s (%.0f joins/s)\n", joined, s.clients, failed,
                joinSeconds, joined / joinSeconds);
    std::printf("crsignal resident memory: %ld KiB idle, %ld KiB with %d clients: %.1f KiB per connection\n", rssStart,
                rssHeld, joined, joined ? double(rssHeld - rssStart) / joined : 0.0);
    if (joined < 2 * s.pairs) return 1;

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
    const long cpuBefore = serverCpuTicks(server.pid());
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
    const double cpu = double(serverCpuTicks(server.pid()) - cpuBefore) / double(sysconf(_SC_CLK_TCK));
    const double ownCpu = ownCpuSeconds() - ownBefore;
    measuring = false;
    runUntil(
        io, [] { return false; }, 1s);  // let the windows drain
    std::printf(
        "relayed messages per second: %.0f (%ld in %.1f s, %d pairs, window %d, %d-byte payload; crsignal CPU %.0f%%, "
        "bench clients CPU %.0f%% of one core)\n",
        relayed / elapsed, relayed, elapsed, s.pairs, s.window, s.payloadBytes, 100.0 * cpu / elapsed,
        100.0 * ownCpu / elapsed);
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
