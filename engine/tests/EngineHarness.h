// Test side of the engine: rt.so loaded with dlopen exactly as the program
// loads it, and a peer that wires its callbacks to another peer back to back
// (descriptions and candidates go straight to the other side).
#pragma once

#include "rtc.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace engine_test {

struct Engine {
#define CORVALA_ENGINE_POINTER(name) decltype(&::name) name = nullptr;
  RTC_FOR_EACH_ENTRY_POINT(CORVALA_ENGINE_POINTER)
#undef CORVALA_ENGINE_POINTER
  void* library = nullptr;

  // Loaded once per process (the program never unloads it either).
  static Engine& get();
};

// Waits on a condition with a generous limit; never used as a clock.
class Waiter {
 public:
  template <class Pred>
  bool waitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, limit, pred);
  }
  void notify() { cv.notify_all(); }
  std::mutex mutex;
  std::condition_variable cv;
};

// Polls a condition that no callback signals, with a generous limit.
template <class Pred>
bool pollUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return pred();
}

// Runs `action` on another thread and reports whether it returned in time:
// a deadlocked engine call must fail the test, not hang it.
bool returnsInTime(std::function<void()> action, std::chrono::seconds limit = std::chrono::seconds(30));

struct Frame {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
};

class TestPeer {
 public:
  TestPeer(rtc_handle factory, rtc_handle iceServers, std::string name);
  ~TestPeer();

  // Creates the connection and this side's "DataChannel", adds `stream`.
  void create(rtc_handle stream = 0);
  void connectTo(TestPeer& other);  // both directions
  void offer();                     // description exchange starts here
  // For a peer that is not another TestPeer (a browser): what this one
  // makes goes to these, what the other makes comes in through the calls.
  std::function<void(const std::string& type, const std::string& sdp)> onDescription;
  std::function<void(const std::string& mid, int index, const std::string& line)> onLocalCandidate;
  void applyRemote(const std::string& type, const std::string& sdp);  // answers an offer
  void addRemoteCandidate(const std::string& mid, int index, const std::string& line);
  void send(const std::string& bytes);
  void observeRemoteChannel();
  void close();

  std::vector<std::string> messages();
  size_t messageCount();
  bool waitForMessages(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(30));
  bool waitForRemoteChannel();
  // Until the engine reported the connection's end (remove_stream).
  bool waitForRemoval(std::chrono::milliseconds limit);
  bool waitForFrames(int count, std::chrono::milliseconds limit = std::chrono::seconds(30));
  Frame lastFrame();
  int frameCount();
  int sizeAnnouncements();
  bool sizeAnnouncedBeforeFirstFrame();

  Engine& engine;
  const std::string name;
  rtc_handle factory, iceServers;
  std::atomic<rtc_handle> pc{0};
  rtc_handle channel = 0;
  std::atomic<rtc_handle> remoteChannel{0}, remoteStream{0};
  std::atomic<int> iceState{-1};
  std::atomic<int> candidatesSent{0};
  std::atomic<int> removals{0};

  // Run inside receive_message / render_frame before the data is stored
  // (they may block, like a hand-over to a program's main thread).
  std::function<void(const std::string&)> onMessage;
  std::function<void()> onFrame;
  // Sees each rendered frame's pixels in place (BGRx, packed).
  std::function<void(const uint8_t* pixels, int width, int height)> onPixels;
  // Applied, like the program's description rewriting, to every description
  // this peer makes before it leaves and to every one it receives.
  std::function<std::string(const std::string& sdp)> rewrite;
  bool renderRemoteVideo = true;
  // Off: channels the other side opens are not observed (their messages
  // wait in the engine until rtc_datachannel_observe).
  bool observeRemoteChannels = true;
  // Off: received messages are only counted (benchmarks of bulk data).
  bool keepMessages = true;

 private:
  static void onAddStream(void* arg, rtc_handle stream);
  static void onRemoveStream(void* arg, rtc_handle stream);
  static void onOpenChannel(void* arg, rtc_handle channel);
  static void onIceState(void* arg, int state);
  static void onCandidate(void* arg, rtc_handle candidate);
  static void onCreateSdp(void* arg, rtc_handle description, int error);
  static void onSetSdp(void* arg, int error);
  static void onReceive(void* arg, const uint8_t* data, int size);
  static void onSetSize(void* arg, int width, int height);
  static void onRenderFrame(void* arg, const uint8_t* pixels);

  TestPeer* other_ = nullptr;
  PeerConnectionCallback pcCallback_{};
  SDPCallback sdpCallback_{};
  DCCallback dcCallback_{};
  VideoRendererCallback renderer_{};
  Waiter waiter_;
  std::vector<std::string> messages_;
  size_t dropped_ = 0;
  int width_ = 0, height_ = 0, sizeCalls_ = 0, frames_ = 0;
  bool frameBeforeSize_ = false;
  Frame last_;
};

// Two peers on one factory each, connected back to back.
using StreamMaker = std::function<rtc_handle(Engine&, rtc_handle factory)>;
struct PeerPair {
  // Makes both peers (streams from the makers, if any) and starts the offer
  // from a unless `start` is false.
  explicit PeerPair(StreamMaker makeA = {}, StreamMaker makeB = {}, bool start = true);
  ~PeerPair();
  bool waitConnected();
  Engine& engine;
  rtc_handle audioA, audioB, factoryA, factoryB, iceA, iceB;
  std::unique_ptr<TestPeer> a, b;
};

// A virtual picture source of one fill byte and the stream that carries it,
// for tests that need video flowing but not particular content. Declare it
// before the PeerPair that uses its maker: the source must outlive the peers.
class FilledVideo {
public:
  FilledVideo(int width, int height, int fps, uint8_t fill);
  ~FilledVideo();
  FilledVideo(const FilledVideo&) = delete;
  FilledVideo& operator=(const FilledVideo&) = delete;
  // A stream "ARDAMS" with the video track, plus a microphone track when asked.
  StreamMaker maker(bool withMicrophone = false);

private:
  static int frame(void* arg, uint8_t* pixels, int width, int height);
  int width_, height_, fps_;
  uint8_t fill_;
  VirtualCaptureCallback capture_{};
  rtc_handle source_ = 0;
};

}  // namespace engine_test
