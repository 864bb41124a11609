// Figures of the media engine with the screen source at 1920x1080:
// delivered frame rate, CPU, capture-to-render latency, time to first frame
// and data-channel stop-and-wait throughput. Run: CORVALA_BIN_DIR=<bin> engine_bench
// "engine_bench --load N [seconds]": 1080p30 scrolling with N busy cores beside
// it, frames per second, the longest gap and the receiver's loss figures.
// "engine_bench --viewers [fps]": the host's CPU for 1, 2 and 3 viewers of one
// screen source (viewers in a second process).
// "engine_bench --datachannel [runs]": only the stop-and-wait figures.
// "engine_bench --content scrolling|changes|static [fps]": that content twice,
// each time beside the bare webrtcbin reference pipeline.
// "engine_bench --changes N [fps] [busy cores]": N whole-screen colour changes
// on an otherwise idle screen; how many reach the receiver within 5 s, and how fast.
#include "EngineHarness.h"
#include "ProcessWire.h"
#include "ReferencePipeline.h"
#include "StatsProbe.h"
#include "XvfbDisplay.h"

#include <X11/Xutil.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace engine_test;
using clock_type = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kBits = 24, kBlock = 24;  // timestamp: 24 blocks of 24x24 pixels

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now().time_since_epoch()).count();
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

enum class Content { Static, Scrolling, Noise };
const char* name(Content c) { return c == Content::Static ? "static" : c == Content::Scrolling ? "scrolling" : "full-screen change"; }

// Paints the chosen content on its own X connection at `rate` per second,
// with the time of painting in black and white blocks at the top left.
class Painter {
 public:
  Painter(const std::string& display, Content content, int rate) : content_(content), rate_(rate) {
    thread_ = std::thread([this, display] { run(display); });
  }
  ~Painter() {
    stop_ = true;
    thread_.join();
  }

 private:
  void run(const std::string& displayName) {
    Display* d = XOpenDisplay(displayName.c_str());
    const Window root = DefaultRootWindow(d);
    GC gc = XCreateGC(d, root, 0, nullptr);
    std::mt19937 random(1);
    std::vector<XImage*> noise;
    if (content_ == Content::Noise) {
      for (int i = 0; i < 4; ++i) {
        char* data = static_cast<char*>(malloc(size_t(kWidth) * kHeight * 4));
        for (size_t j = 0; j < size_t(kWidth) * kHeight; ++j) reinterpret_cast<uint32_t*>(data)[j] = random();
        noise.push_back(XCreateImage(d, DefaultVisual(d, 0), 24, ZPixmap, 0, data, kWidth, kHeight, 32, 0));
      }
    }
    // Start: stripes, so that scrolling moves real content.
    for (int y = 0; y < kHeight; y += 40) {
      XSetForeground(d, gc, (y * 2654435761u) & 0xFFFFFF);
      XFillRectangle(d, root, gc, 0, y, kWidth, 40);
    }
    int frame = 0;
    auto next = clock_type::now();
    while (!stop_) {
      if (content_ == Content::Scrolling) {
        XCopyArea(d, root, root, gc, 0, 8 + kBlock, kWidth, kHeight - 8 - kBlock, 0, kBlock);
        XSetForeground(d, gc, (frame * 2654435761u) & 0xFFFFFF);
        XFillRectangle(d, root, gc, 0, kHeight - 8, kWidth, 8);
      } else if (content_ == Content::Noise) {
        XPutImage(d, root, gc, noise[size_t(frame) % noise.size()], 0, 0, 0, 0, kWidth, kHeight);
      }
      if (content_ != Content::Static || frame == 0) {
        const uint32_t stamp = uint32_t(nowMs()) & ((1u << kBits) - 1);
        for (int bit = 0; bit < kBits; ++bit) {
          XSetForeground(d, gc, (stamp >> bit) & 1 ? 0xFFFFFF : 0x000000);
          XFillRectangle(d, root, gc, bit * kBlock, 0, kBlock, kBlock);
        }
      }
      XSync(d, False);
      ++frame;
      next += std::chrono::microseconds(1000000 / rate_);
      std::this_thread::sleep_until(next);
    }
    for (XImage* image : noise) XDestroyImage(image);
    XFreeGC(d, gc);
    XCloseDisplay(d);
  }

  Content content_;
  int rate_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Reads the painted time back from a received frame.
bool readStamp(const uint8_t* pixels, int width, uint32_t& stamp) {
  if (width < kBits * kBlock) return false;
  stamp = 0;
  for (int bit = 0; bit < kBits; ++bit) {
    const uint8_t* p = pixels + (size_t(kBlock / 2) * width + bit * kBlock + kBlock / 2) * 4;
    const int level = (p[0] + p[1] + p[2]) / 3;
    if (level > 160) stamp |= 1u << bit;
    else if (level > 95) return false;  // neither black nor white: not a clean stamp
  }
  return true;
}

// Latency of received frames whose painted time changed since the last one
// (sampled on a streaming thread; read once measuring stopped).
struct LatencySamples {
  std::atomic<bool> measuring{false};
  std::mutex mutex;
  std::vector<double> values;
  uint32_t lastStamp = 0;

  void sample(const uint8_t* pixels, int width) {
    uint32_t stamp;
    if (!measuring || !readStamp(pixels, width, stamp) || stamp == lastStamp) return;
    lastStamp = stamp;
    const double latency = double((uint32_t(nowMs()) - stamp) & ((1u << kBits) - 1));
    std::lock_guard lock(mutex);
    if (latency < 5000) values.push_back(latency);
  }
  void summarise(double& median, double& p95) {
    std::lock_guard lock(mutex);
    if (values.empty()) return;
    std::sort(values.begin(), values.end());
    median = values[values.size() / 2];
    p95 = values[std::min(values.size() - 1, size_t(values.size() * 0.95))];
  }
};

struct Session {
  Session(int fps) : fps(fps) {}
  int fps;
  rtc_handle source = 0;
  std::unique_ptr<PeerPair> pair;
  LatencySamples latency;
  std::atomic<int> frames{0};
  std::atomic<int> captured{0};
  static void countSize(void*, int, int) {}
  static void countFrame(void* arg, const uint8_t*) { ++static_cast<Session*>(arg)->captured; }
  VideoRendererCallback localRenderer{this, countSize, countFrame};
  std::atomic<int64_t> firstFrameAt{0};
  int64_t offerAt = 0;

  void start() {
    pair = std::make_unique<PeerPair>(
        [this](Engine& e, rtc_handle factory) {
          source = e.rtc_create_source(kWidth, kHeight, fps, RTC_SOURCE_SCREEN, 0);
          const rtc_handle stream = e.rtc_create_stream(factory, "ARDAMS");
          const rtc_handle track = e.rtc_create_videotrack(factory, source, "ARDAMSv0");
          e.rtc_add_videotrack(stream, track);
          e.rtc_add_renderer(track, &localRenderer);
          return stream;
        },
        StreamMaker{}, false);
    pair->b->onFrame = [this] {
      ++frames;
      int64_t zero = 0;
      firstFrameAt.compare_exchange_strong(zero, nowMs());
    };
    pair->b->onPixels = [this](const uint8_t* pixels, int width, int) { latency.sample(pixels, width); };
    offerAt = nowMs();
    pair->a->offer();
  }
  ~Session() {
    pair.reset();
    Engine::get().rtc_destroy_source(source);
  }
};

struct Figures {
  double fps = 0, captured = 0, cpu = 0, median = -1, p95 = -1, firstFrame = -1;
};

Figures measure(XvfbDisplay& x, Content content, int fps, double seconds) {
  Figures out;
  Painter painter(x.name(), content, std::max(fps, 30));
  Session session(fps);
  session.start();
  if (!session.pair->b->waitForFrames(1, std::chrono::seconds(20))) return out;
  out.firstFrame = double(session.firstFrameAt - session.offerAt);
  std::this_thread::sleep_for(std::chrono::seconds(2));  // rate control and encoder settle
  const int frames0 = session.frames;
  const int captured0 = session.captured;
  const double cpu0 = cpuSeconds();
  const auto t0 = clock_type::now();
  session.latency.measuring = content != Content::Static;  // a static screen shows one old stamp
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  session.latency.measuring = false;
  const double wall = std::chrono::duration<double>(clock_type::now() - t0).count();
  out.fps = (session.frames - frames0) / wall;
  out.captured = (session.captured - captured0) / wall;
  out.cpu = (cpuSeconds() - cpu0) / wall * 100.0;
  session.latency.summarise(out.median, out.p95);
  return out;
}

// The same content through the bare webrtcbin pipeline, for a reference
// from the same run on the same machine.
Figures measureReference(XvfbDisplay& x, Content content, int fps, double seconds) {
  Figures out;
  Painter painter(x.name(), content, std::max(fps, 30));
  std::atomic<int> frames{0};
  LatencySamples latency;
  const int64_t start = nowMs();
  std::atomic<int64_t> firstFrameAt{0};
  ReferencePipeline reference(x.name(), kWidth, kHeight, fps, [&](const uint8_t* pixels, int width) {
    ++frames;
    int64_t zero = 0;
    firstFrameAt.compare_exchange_strong(zero, nowMs());
    latency.sample(pixels, width);
  });
  const auto end = clock_type::now() + std::chrono::seconds(20);
  while (!frames && clock_type::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!frames) return out;
  out.firstFrame = double(firstFrameAt - start);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const int frames0 = frames;
  const double cpu0 = cpuSeconds();
  const auto t0 = clock_type::now();
  latency.measuring = content != Content::Static;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  latency.measuring = false;
  const double wall = std::chrono::duration<double>(clock_type::now() - t0).count();
  out.fps = (frames - frames0) / wall;
  out.cpu = (cpuSeconds() - cpu0) / wall * 100.0;
  latency.summarise(out.median, out.p95);
  return out;
}

// 64 KiB records, each acknowledged by a one-byte "D" before the next.
double stopAndWait(XvfbDisplay* x, size_t megabytes) {
  std::unique_ptr<Painter> painter;
  std::unique_ptr<Session> video;
  if (x) {
    painter = std::make_unique<Painter>(x->name(), Content::Scrolling, 30);
    video = std::make_unique<Session>(30);
    video->start();
    video->pair->b->waitForFrames(1, std::chrono::seconds(20));
  }
  PeerPair pair;
  if (!pair.waitConnected()) return -1;
  const std::string record(65536, 'r');
  std::atomic<size_t> acked{0};
  pair.b->keepMessages = false;
  pair.b->onMessage = [&](const std::string&) { pair.b->send("D"); };
  const size_t records = megabytes * 1024 * 1024 / record.size();
  const auto t0 = clock_type::now();
  for (size_t i = 0; i < records; ++i) {
    pair.a->send(record);
    if (!pair.a->waitForMessages(i + 1, std::chrono::seconds(20))) return -1;
  }
  const double wall = std::chrono::duration<double>(clock_type::now() - t0).count();
  (void)acked;
  return double(records * record.size()) / wall / 1e6;
}

// Busy processes that keep `count` cores loaded while they live (the
// machine of a user who runs other work beside the host).
class CpuLoad {
 public:
  explicit CpuLoad(int count) {
    for (int i = 0; i < count; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        volatile unsigned long n = 0;
        for (;;) n = n + 1;
      }
      if (pid > 0) pids_.push_back(pid);
    }
  }
  ~CpuLoad() {
    for (pid_t pid : pids_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

 private:
  std::vector<pid_t> pids_;
};

// 1080p30 scrolling for `seconds` with `load` busy cores beside it: frames
// delivered in each second, and the longest gap between two frames.
void underLoad(XvfbDisplay& x, int load, int seconds) {
  Painter painter(x.name(), Content::Scrolling, 30);
  Session session(30);
  std::atomic<int64_t> lastFrame{0}, longestGap{0};
  session.start();
  session.pair->b->onFrame = [&] {
    ++session.frames;
    const int64_t now = nowMs(), last = lastFrame.exchange(now);
    if (last && now - last > longestGap) longestGap = now - last;
  };
  if (!session.pair->b->waitForFrames(1, std::chrono::seconds(20))) {
    std::printf("no first frame\n");
    return;
  }
  CpuLoad busy(load);
  std::printf("1080p30 scrolling with %d busy core(s): frames per second:", load);
  int before = session.frames;
  const double cpu0 = cpuSeconds();
  for (int s = 0; s < seconds; ++s) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int now = session.frames;
    std::printf(" %d", now - before);
    std::fflush(stdout);
    before = now;
  }
  std::printf("\nlongest gap %lld ms, engine CPU %.0f%%\n", (long long)longestGap.load(),
              (cpuSeconds() - cpu0) / seconds * 100.0);
  const auto values = StatsProbe::collect(Engine::get(), session.pair->b->pc);
  std::printf("receiver: packets %.0f, lost %.0f, NACKs %.0f, PLIs %.0f, FIRs %.0f\n",
              StatsProbe::sum(values, "inbound-rtp", "packets-received", "video"),
              StatsProbe::sum(values, "inbound-rtp", "packets-lost", "video"),
              StatsProbe::sum(values, "inbound-rtp", "nack-count", "video"),
              StatsProbe::sum(values, "inbound-rtp", "pli-count", "video"),
              StatsProbe::sum(values, "inbound-rtp", "fir-count", "video"));
}

// Whole-screen colour changes on an otherwise idle screen at `fps` (the
// program's setting is 10): how many reach the receiver, and how fast. A
// change that never shows is the fault a user sees as a frozen picture.
void screenChanges(XvfbDisplay& x, int changes, int fps, int load) {
  constexpr unsigned long colours[3] = {0xD02020, 0x20D020, 0x2020D0};
  Session session(fps);
  std::atomic<unsigned long> probe{0};
  std::atomic<int> probeFrames{0};
  x.paintRoot(colours[0]);
  session.start();
  session.pair->b->onPixels = [&](const uint8_t* pixels, int width, int height) {
    const uint8_t* p = pixels + (size_t(height / 3) * width + width / 3) * 4;
    probe = (unsigned long)p[2] << 16 | (unsigned long)p[1] << 8 | p[0];
    ++probeFrames;
  };
  const auto near = [](unsigned long a, unsigned long b) {
    for (int shift : {16, 8, 0})
      if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 40) return false;
    return true;
  };
  const auto waitColour = [&](unsigned long colour, std::chrono::milliseconds limit) {
    const auto end = clock_type::now() + limit;
    while (clock_type::now() < end) {
      if (near(probe, colour)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return near(probe, colour);
  };
  if (!waitColour(colours[0], std::chrono::seconds(30))) {
    std::printf("no first picture\n");
    return;
  }
  std::vector<double> latencies;
  CpuLoad busy(load);
  for (int i = 1; i <= changes; ++i) {
    const unsigned long colour = colours[i % 3];
    x.paintRoot(colour);
    const auto changed = clock_type::now();
    if (waitColour(colour, std::chrono::seconds(5)))
      latencies.push_back(std::chrono::duration<double, std::milli>(clock_type::now() - changed).count());
    else
      std::printf("change %d to %06lx not seen: the receiver shows %06lx\n", i, colour, probe.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // pacing, not synchronisation
  }
  std::sort(latencies.begin(), latencies.end());
  double loadAverage[3] = {};
  getloadavg(loadAverage, 3);
  if (latencies.empty()) return;
  std::printf("screen changes at %d fps, %d busy core(s): %zu of %d seen within 5 s; median %.0f ms, max %.0f ms (load %.1f)\n", fps, load,
              latencies.size(), changes, latencies[latencies.size() / 2], latencies.back(), loadAverage[0]);
}

// ---- host CPU per viewer ----------------------------------------------------
// The host's peers run in this process, the viewers in a child process, so
// that the CPU time of this process is the host's alone.
// Child: answers every offer with a new viewer and reports frame counts.
int runViewers(int fd) {
  Wire wire(fd);
  Engine& e = Engine::get();
  e.rtc_set_debug_level(1);
  const rtc_handle audio = e.rtc_create_audio_module();
  const rtc_handle factory = e.rtc_create_factory(audio);
  const rtc_handle ice = e.rtc_create_iceservers();
  std::vector<std::unique_ptr<TestPeer>> viewers;
  int peer;
  std::string kind, payload;
  while (wire.receive(peer, kind, payload)) {
    if (kind == "frames") {
      // The viewers' CPU seconds first, then each viewer's frame count.
      std::string counts = std::to_string(int64_t(cpuSeconds() * 1000)) + " ";
      for (auto& v : viewers) counts += std::to_string(v->frameCount()) + " ";
      wire.send(-1, "frames", counts);
      continue;
    }
    if (kind == "offer" && peer == int(viewers.size())) {
      viewers.push_back(std::make_unique<TestPeer>(factory, ice, "viewer" + std::to_string(peer)));
      wirePeer(*viewers.back(), wire, peer);
      viewers.back()->create();
    }
    if (peer >= 0 && peer < int(viewers.size())) deliver(*viewers[size_t(peer)], kind, payload);
  }
  for (auto& v : viewers) v->close();
  return 0;
}

// Parent: the host with one screen source and n peers sending it.
void hostCostPerViewer(int fd, int fps) {
  Wire wire(fd);
  Engine& e = Engine::get();
  e.rtc_set_debug_level(1);
  XvfbDisplay x(kWidth, kHeight);
  if (!x.ok()) return;
  Painter painter(x.name(), Content::Scrolling, 30);
  const rtc_handle audio = e.rtc_create_audio_module();
  const rtc_handle factory = e.rtc_create_factory(audio);
  const rtc_handle ice = e.rtc_create_iceservers();
  const rtc_handle source = e.rtc_create_source(kWidth, kHeight, fps, RTC_SOURCE_SCREEN, 0);
  const rtc_handle stream = e.rtc_create_stream(factory, "ARDAMS");
  e.rtc_add_videotrack(stream, e.rtc_create_videotrack(factory, source, "ARDAMSv0"));
  std::vector<std::unique_ptr<TestPeer>> hosts;
  std::mutex countsMutex;
  std::condition_variable countsChanged;
  std::vector<int> counts;
  bool countsFresh = false;
  std::thread reader([&] {
    int peer;
    std::string kind, payload;
    while (wire.receive(peer, kind, payload)) {
      if (kind == "frames") {
        std::lock_guard lock(countsMutex);
        counts.clear();
        for (const char* p = payload.c_str(); *p;) {
          char* end = nullptr;
          counts.push_back(int(std::strtol(p, &end, 10)));
          if (end == p) break;
          p = end;
          while (*p == ' ') ++p;
        }
        countsFresh = true;
        countsChanged.notify_all();
      } else if (peer >= 0 && peer < int(hosts.size())) {
        deliver(*hosts[size_t(peer)], kind, payload);
      }
    }
  });
  auto frameCounts = [&] {
    std::unique_lock lock(countsMutex);
    countsFresh = false;
    wire.send(-1, "frames", "");
    countsChanged.wait_for(lock, std::chrono::seconds(10), [&] { return countsFresh; });
    return counts;
  };
  std::printf("host CPU for a 1080p scrolling screen at %d fps, one source, n viewers in another process "
              "(%% of one core)\n", fps);
  double previous = 0;
  for (int n = 1; n <= 3; ++n) {
    hosts.push_back(std::make_unique<TestPeer>(factory, ice, "host" + std::to_string(n - 1)));
    wirePeer(*hosts.back(), wire, n - 1);
    hosts.back()->create(stream);
    hosts.back()->offer();
    // Every viewer shows frames, then the rate settles.
    const auto end = clock_type::now() + std::chrono::seconds(30);
    for (;;) {
      const auto c = frameCounts();
      if ((int(c.size()) == n + 1 && *std::min_element(c.begin() + 1, c.end()) > 0) || clock_type::now() > end) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const auto before = frameCounts();
    const double cpu0 = cpuSeconds();
    const auto t0 = clock_type::now();
    std::this_thread::sleep_for(std::chrono::seconds(8));
    const double wall = std::chrono::duration<double>(clock_type::now() - t0).count();
    const double cpu = (cpuSeconds() - cpu0) / wall * 100.0;
    const auto after = frameCounts();
    if (after.empty() || before.empty()) continue;
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("%d viewer(s): host CPU %.1f%% (%+.1f%% for this viewer), viewers' CPU %.1f%%, load %.1f, "
                "frames per second per viewer:",
                n, cpu, n == 1 ? 0.0 : cpu - previous, (after[0] - before[0]) / 10.0 / wall, load[0]);
    for (size_t i = 1; i < after.size() && i < before.size(); ++i) std::printf(" %.1f", (after[i] - before[i]) / wall);
    std::printf("\n");
    std::fflush(stdout);
    previous = cpu;
  }
  for (auto& h : hosts) h->close();
  shutdown(fd, SHUT_RDWR);
  reader.join();
  e.rtc_destroy_factory(factory);
  e.rtc_destroy_source(source);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--viewers") == 0) {
    // Two processes from the start, before any engine thread exists.
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
    const pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      _exit(runViewers(fds[1]));
    }
    close(fds[1]);
    hostCostPerViewer(fds[0], argc > 2 ? std::atoi(argv[2]) : 30);
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return 0;
  }
  if (argc > 2 && std::strcmp(argv[1], "--load") == 0) {
    Engine::get().rtc_set_debug_level(1);
    XvfbDisplay x(kWidth, kHeight);
    if (!x.ok()) return 1;
    underLoad(x, std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 30);
    return 0;
  }
  if (argc > 2 && std::strcmp(argv[1], "--changes") == 0) {
    Engine::get().rtc_set_debug_level(1);
    XvfbDisplay x(kWidth, kHeight);
    if (!x.ok()) return 1;
    screenChanges(x, std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 10, argc > 4 ? std::atoi(argv[4]) : 0);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--datachannel") == 0) {
    // The two stop-and-wait figures alone, each measured `runs` times: on a
    // shared machine one run says little, the spread says how much.
    Engine::get().rtc_set_debug_level(1);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    XvfbDisplay x(kWidth, kHeight);
    if (!x.ok()) return 1;
    for (XvfbDisplay* display : {static_cast<XvfbDisplay*>(nullptr), &x}) {
      std::printf("data channel stop-and-wait, 65,536-byte records, %s:", display ? "with 1080p30 scrolling video" : "without video");
      for (int run = 0; run < runs; ++run) {
        std::printf(" %.1f", stopAndWait(display, display ? 100 : 200));
        std::fflush(stdout);
      }
      double load[3] = {};
      getloadavg(load, 3);
      std::printf(" MB/s (load %.1f)\n", load[0]);
    }
    return 0;
  }
  const bool quick = argc > 1 && std::strcmp(argv[1], "--scrolling10") == 0;
  Engine& engine = Engine::get();
  engine.rtc_set_debug_level(1);
  XvfbDisplay x(kWidth, kHeight);
  if (!x.ok()) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  std::printf("screen source 1920x1080, sender and receiver in one process (CPU in %% of one core)\n");
  std::printf("%-20s %6s %9s %10s %8s %12s %9s %12s\n", "content", "set", "captured", "delivered", "CPU",
              "latency med", "p95", "first frame");
  // Each engine row is followed by the bare webrtcbin pipeline's row for the
  // same content ("reference", its capture is ximagesrc at the fixed rate).
  const auto reference = [&](Content content, int fps) {
    const Figures r = measureReference(x, content, fps, 6.0);
    std::printf("  reference          %6d %9s %10.2f %7.1f%% %9.0f ms %6.0f ms %9.0f ms\n", fps, "-", r.fps, r.cpu,
                r.median, r.p95, r.firstFrame);
    std::fflush(stdout);
  };
  if (argc > 2 && std::strcmp(argv[1], "--content") == 0) {
    // One content at one rate, the engine beside the reference pipeline.
    const std::string which = argv[2];
    const Content content = which == "changes" ? Content::Noise : which == "static" ? Content::Static : Content::Scrolling;
    const int fps = argc > 3 ? std::atoi(argv[3]) : 30;
    for (int run = 0; run < 2; ++run) {
      const Figures f = measure(x, content, fps, 6.0);
      std::printf("%-20s %6d %9.2f %10.2f %7.1f%% %9.0f ms %6.0f ms %9.0f ms\n", name(content), fps, f.captured, f.fps,
                  f.cpu, f.median, f.p95, f.firstFrame);
      reference(content, fps);
    }
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("load %.1f\n", load[0]);
    return 0;
  }
  if (quick) {
    const Figures f = measure(x, Content::Scrolling, 10, 6.0);
    std::printf("scrolling 10: captured %.2f delivered %.2f CPU %.1f%% latency %.0f/%.0f ms\n", f.captured, f.fps, f.cpu,
                f.median, f.p95);
    return 0;
  }
  for (Content content : {Content::Static, Content::Scrolling, Content::Noise})
    for (int fps : {10, 30}) {
      const Figures f = measure(x, content, fps, 6.0);
      std::printf("%-20s %6d %9.2f %10.2f %7.1f%% %9.0f ms %6.0f ms %9.0f ms\n", name(content), fps, f.captured, f.fps,
                  f.cpu, f.median, f.p95, f.firstFrame);
      std::fflush(stdout);
      if (content != Content::Static) reference(content, fps);
    }
  for (int fps : {60}) {
    const Figures f = measure(x, Content::Scrolling, fps, 6.0);
    std::printf("%-20s %6d %9.2f %10.2f %7.1f%% %9.0f ms %6.0f ms %9.0f ms  (most sustained)\n", "scrolling", fps,
                f.captured, f.fps, f.cpu, f.median, f.p95, f.firstFrame);
    reference(Content::Scrolling, fps);
  }
  std::printf("data channel stop-and-wait, 65,536-byte records: %.1f MB/s without video\n", stopAndWait(nullptr, 200));
  std::printf("data channel stop-and-wait, 65,536-byte records: %.1f MB/s with 1080p30 scrolling video\n",
              stopAndWait(&x, 100));
  return 0;
}
