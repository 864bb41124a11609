// crserver's cost to a session: the same two engines once directly and once
// relayed through crserver (each learning only the other's relayed
// candidates), in one run and one network namespace: data-channel
// stop-and-wait throughput, round-trip time of small messages, video frames
// delivered, and the relay's own processor time. The relayed figures meet
// crserver's rate limit of 8 MiB a second per allocation (both directions).
// Run: build/bench/relay_bench [megabytes]
#include "RelayedPair.h"
#include "ServerProcess.h"

#include <unistd.h>

#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using corvala::relay::RelayedPair;
using corvala::relay::TurnAccount;

// User plus system time of a process, in seconds.
double CpuSecondsOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(all.substr(all.rfind(')') + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
  long user = 0, system = 0;
  fields >> user >> system;
  return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

struct Figures {
  double megabytesPerSecond = -1, rttMedianMs = -1, rttP95Ms = -1, fps = -1;
};

// 64 KiB records, each acknowledged by one byte before the next.
double StopAndWait(RelayedPair& pair, size_t megabytes) {
  const std::string record(65536, 'r');
  pair.b->keepMessages = false;
  pair.b->onMessage = [&](const std::string&) { pair.b->send("D"); };
  const size_t records = megabytes * 1024 * 1024 / record.size();
  const size_t before = pair.a->messageCount();
  const auto t0 = Clock::now();
  for (size_t i = 0; i < records; ++i) {
    pair.a->send(record);
    if (!pair.a->waitForMessages(before + i + 1, std::chrono::seconds(20))) return -1;
  }
  pair.b->onMessage = nullptr;
  return double(records * record.size()) / std::chrono::duration<double>(Clock::now() - t0).count() / 1e6;
}

void RoundTrips(RelayedPair& pair, int count, Figures& f) {
  pair.b->onMessage = [&](const std::string& m) {
    if (m == "ping") pair.b->send("pong");
  };
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    const size_t before = pair.a->messageCount();
    const auto t0 = Clock::now();
    pair.a->send("ping");
    if (!pair.a->waitForMessages(before + 1, std::chrono::seconds(10))) return;
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  pair.b->onMessage = nullptr;
  std::sort(ms.begin(), ms.end());
  f.rttMedianMs = ms[ms.size() / 2];
  f.rttP95Ms = ms[ms.size() * 95 / 100];
}

Figures Measure(const TurnAccount& turn, size_t megabytes) {
  Figures f;
  engine_test::FilledVideo video(1280, 720, 30, 0x40);
  RelayedPair pair(turn, video.maker());
  if (!pair.waitConnected()) return f;
  pair.b->waitForFrames(5);
  const int framesBefore = pair.b->frameCount();
  const auto t0 = Clock::now();
  RoundTrips(pair, 200, f);
  f.megabytesPerSecond = StopAndWait(pair, megabytes);
  f.fps = (pair.b->frameCount() - framesBefore) / std::chrono::duration<double>(Clock::now() - t0).count();
  return f;
}

void Print(const char* name, const Figures& f) {
  std::printf("%-9s data %6.1f MB/s   rtt median %5.2f ms  p95 %5.2f ms   720p30 video alongside %5.1f fps\n", name,
              f.megabytesPerSecond, f.rttMedianMs, f.rttP95Ms, f.fps);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("CORVALA_BIN_DIR", CORVALA_BENCH_BIN_DIR, 0);
  const size_t megabytes = argc > 1 ? size_t(std::max(1, std::atoi(argv[1]))) : 64;
  corvala::testing::ServerProcess relay("crserver",
                                        {"-public-ip", "10.77.0.1", "-port", "3478", "-users", "bench=b3nch"});
  if (relay.port() != 3478) {
    std::fprintf(stderr, "crserver did not start\n");
    return 1;
  }
  std::printf("stop-and-wait %zu MB in 65,536-byte records, 200 round trips of 4 bytes\n", megabytes);
  const Figures direct = Measure({}, megabytes);
  Print("direct", direct);
  const double cpu0 = CpuSecondsOf(relay.pid());
  const auto t0 = Clock::now();
  const Figures relayed = Measure({"turn:127.0.0.1:3478", "bench", "b3nch"}, megabytes);
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  Print("relayed", relayed);
  std::printf("relay added %.2f ms to the median round trip; crserver used %.1f %% of one core over the relayed run "
              "(%.1f s)\n",
              relayed.rttMedianMs - direct.rttMedianMs, 100 * (CpuSecondsOf(relay.pid()) - cpu0) / wall, wall);
  return relayed.megabytesPerSecond > 0 && direct.megabytesPerSecond > 0 ? 0 : 1;
}
