// Connect/teardown cycles in one process, as a host sees sessions come and
// go, each torn down while video flows: threads and descriptors must stay
// bounded and memory must not grow by a frame's worth per session. The
// figures are printed for the record. The sanitizer build runs a shorter
// series; there LeakSanitizer judges memory at exit instead of the RSS.
#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <string>

using namespace engine_test;

namespace {

int countEntries(const char* path) {
  DIR* dir = opendir(path);
  if (!dir) return -1;
  int n = 0;
  while (dirent* e = readdir(dir))
    if (e->d_name[0] != '.') ++n;
  closedir(dir);
  return n;
}

long residentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

int stalledSessions = 0;

void oneSession() {
  FilledVideo video(160, 120, 30, 0x60);
  PeerPair pair(video.maker(/*withMicrophone=*/true));
  ASSERT_TRUE(pair.waitConnected()) << "ICE states " << pair.a->iceState << "/" << pair.b->iceState
                                    << ", candidates " << pair.a->candidatesSent << "/" << pair.b->candidatesSent
                                    << ", channels " << pair.a->remoteChannel << "/" << pair.b->remoteChannel;
  pair.a->send("HELLO");
  ASSERT_TRUE(pair.b->waitForMessages(1));
  // Counted rather than fatal, so that the figures are still printed.
  if (!pair.b->waitForFrames(2)) ++stalledSessions;
}

}  // namespace

#ifndef CORVALA_LIFECYCLE_CYCLES
#define CORVALA_LIFECYCLE_CYCLES 100
#endif
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasureMemory = false;  // ASan's quarantine hides what RSS would show
#else
constexpr bool kMeasureMemory = CORVALA_LIFECYCLE_CYCLES >= 50;
#endif

TEST(Lifecycle, SessionsKeepThreadsDescriptorsAndMemoryBounded) {
  constexpr int kWarmUp = 10, kCycles = CORVALA_LIFECYCLE_CYCLES;
  int threadsAfterWarmUp = 0, fdsAfterWarmUp = 0;
  long rssAfterWarmUp = 0, rssAt25 = 0;
  for (int cycle = 1; cycle <= kCycles; ++cycle) {
    oneSession();
    if (HasFatalFailure()) {
      std::printf("lifecycle: failed in cycle %d\n", cycle);
      return;
    }
    if (cycle == kWarmUp) {
      threadsAfterWarmUp = countEntries("/proc/self/task");
      fdsAfterWarmUp = countEntries("/proc/self/fd");
      rssAfterWarmUp = residentKb();
    }
    if (cycle == 25) rssAt25 = residentKb();
  }
  // Threads that end asynchronously (GStreamer's pools) get a moment.
  pollUntil([&] { return countEntries("/proc/self/task") <= threadsAfterWarmUp; }, std::chrono::seconds(10));
  const int threads = countEntries("/proc/self/task");
  const int fds = countEntries("/proc/self/fd");
  const long rss = residentKb();
  const double growthFromWarmUp = double(rss - rssAfterWarmUp) / (kCycles - kWarmUp);
  const double growthFrom25 = kCycles > 25 ? double(rss - rssAt25) / (kCycles - 25) : 0.0;
  std::printf("lifecycle: %d of %d sessions without a picture\n", stalledSessions, kCycles);
  std::printf("lifecycle: threads %d -> %d, descriptors %d -> %d, RSS %ld -> %ld KB "
              "(%.1f KB per cycle after %d cycles, %.1f KB per cycle after 25)\n",
              threadsAfterWarmUp, threads, fdsAfterWarmUp, fds, rssAfterWarmUp, rss, growthFromWarmUp, kWarmUp,
              growthFrom25);
  RecordProperty("rss_kb_per_cycle", std::to_string(growthFrom25));
  EXPECT_LE(threads, threadsAfterWarmUp + 4);
  EXPECT_LE(fds, fdsAfterWarmUp + 4);
  // One lost 160x120 frame per session would already be 75 KB; a leaked
  // pipeline several MB.
  if (kMeasureMemory) {
    EXPECT_LT(growthFrom25, 1024.0);
  }
  // Every session shows its picture. (Frames stamped before a pipeline ran
  // used to stall about one session in sixty behind webrtcbin's clock.)
  EXPECT_EQ(stalledSessions, 0);
}
