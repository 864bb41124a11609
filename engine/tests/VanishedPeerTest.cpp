// A peer that vanishes without a word (its process killed, its network
// gone) must be reported as ended, so that the program can end the session:
// otherwise ICE stays "completed" for minutes and the host keeps sending
// into the void. The other side runs in a child process (RemotePeer.cpp)
// that the test kills with SIGKILL while video and data flow both ways.
#include "ProcessWire.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace engine_test;
using namespace std::chrono_literals;

namespace {

// The local side of a session with the child process, sending a picture, a
// microphone and a message every 100 ms.
class SessionWithChild {
 public:
  SessionWithChild() : child_(CORVALA_REMOTE_PEER, "answer"), wire_(child_.fd()) {
    audio_ = e_.rtc_create_audio_module();
    factory_ = e_.rtc_create_factory(audio_);
    ice_ = e_.rtc_create_iceservers();
    local = std::make_unique<TestPeer>(factory_, ice_, "local");
    wirePeer(*local, wire_, 0);
    local->create(video_.maker(/*withMicrophone=*/true)(e_, factory_));
    reader_ = std::thread([this] {
      int index;
      std::string kind, payload;
      while (wire_.receive(index, kind, payload))
        if (index == 0) deliver(*local, kind, payload);
    });
    local->offer();
    sender_ = std::thread([this] {
      for (int tick = 0; !stop_; ++tick) {
        local->send("tick " + std::to_string(tick));
        std::this_thread::sleep_for(100ms);
      }
    });
  }
  ~SessionWithChild() {
    stop_ = true;
    sender_.join();
    child_.kill();
    reader_.join();
    local->close();
    e_.rtc_destroy_factory(factory_);
    e_.rtc_destroy_iceservers(ice_);
    e_.rtc_destroy_audio_module(audio_);
  }
  bool flowing() { return local->waitForRemoteChannel() && local->waitForFrames(5) && local->waitForMessages(5); }
  void killChild() { child_.kill(); }

  std::unique_ptr<TestPeer> local;

 private:
  Engine& e_ = Engine::get();
  FilledVideo video_{160, 120, 15, 0x90};
  ChildProcess child_;
  Wire wire_;
  rtc_handle audio_ = 0, factory_ = 0, ice_ = 0;
  std::thread reader_, sender_;
  std::atomic<bool> stop_{false};
};

}  // namespace

TEST(VanishedPeer, KilledPeerIsReportedEndedWithinTenSeconds) {
  SessionWithChild session;
  ASSERT_TRUE(session.flowing()) << "ICE state " << session.local->iceState << ", frames "
                                 << session.local->frameCount() << ", messages " << session.local->messageCount();
  std::this_thread::sleep_for(1s);  // mid-session, not at its start
  ASSERT_EQ(session.local->removals, 0);
  session.killChild();
  const auto killed = std::chrono::steady_clock::now();
  const bool reported = session.local->waitForRemoval(30s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
  std::printf("vanished peer: end reported %s after %.1f s (ICE state %d)\n", reported ? "" : "NOT", seconds,
              session.local->iceState.load());
  ASSERT_TRUE(reported);
  EXPECT_LT(seconds, 10.0);
  EXPECT_EQ(session.local->iceState, RTC_ICE_FAILED);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(session.local->removals, 1);  // once
}

// A viewer without a microphone sends no media, only its reports, and no
// message: it is quiet, not gone, and neither side may take it for gone.
TEST(VanishedPeer, PeerThatOnlyReceivesIsNotReportedEnded) {
  FilledVideo video(160, 120, 15, 0x50);
  PeerPair pair(video.maker());
  ASSERT_TRUE(pair.waitConnected());
  ASSERT_TRUE(pair.b->waitForFrames(3));
  EXPECT_FALSE(pair.a->waitForRemoval(std::chrono::milliseconds(4 * RTC_PEER_SILENCE_MS)));
  EXPECT_EQ(pair.b->removals, 0);
}
