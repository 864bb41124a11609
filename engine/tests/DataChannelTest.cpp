// Two peer connections of the real engine in one process, back to back over
// loopback (the only network of the test's namespace), exchanging data.
#include "StatsProbe.h"

#include <gtest/gtest.h>

#include <future>
#include <set>
#include <thread>

using namespace engine_test;
using namespace std::chrono_literals;

namespace {

std::string binaryRecord(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
  return bytes;
}

}  // namespace

// Loopback only: without naming 127.0.0.1 to the ICE agent no candidate is
// found here and the channels never open.
TEST(DataChannel, ConnectsOverLoopbackAndOpensBothChannels) {
  PeerPair pair;
  ASSERT_TRUE(pair.waitConnected());
  EXPECT_GT(pair.a->candidatesSent.load(), 0);
  EXPECT_NE(pair.a->remoteChannel.load(), pair.a->channel);
}

// Sent right after the channel was made, long before it opens: webrtcbin
// refuses such sends, the engine must queue them and keep their order.
TEST(DataChannel, MessagesBothWaysKeepBytesAndOrder) {
  PeerPair pair({}, {}, false);
  const std::vector<std::string> fromA = {"DISCONNECT", std::string("bin\0ary\xff\x00", 10),
                                          binaryRecord(65536, 1), "x"};
  const std::vector<std::string> fromB = {"REPLY \xc3\xa9t\xc3\xa9", binaryRecord(65536, 2),
                                          binaryRecord(65535, 3)};
  for (const auto& m : fromA) pair.a->send(m);
  for (const auto& m : fromB) pair.b->send(m);
  pair.a->offer();
  ASSERT_TRUE(pair.waitConnected());

  std::vector<std::string> burst;
  for (int i = 0; i < 300; ++i) burst.push_back("burst " + std::to_string(i) + binaryRecord(size_t(i) * 97 % 4000, i));
  for (const auto& m : burst) pair.a->send(m);

  ASSERT_TRUE(pair.b->waitForMessages(fromA.size() + burst.size()));
  ASSERT_TRUE(pair.a->waitForMessages(fromB.size()));
  auto gotB = pair.b->messages();
  auto gotA = pair.a->messages();
  ASSERT_EQ(gotB.size(), fromA.size() + burst.size());
  for (size_t i = 0; i < fromA.size(); ++i) EXPECT_EQ(gotB[i], fromA[i]) << "message " << i;
  for (size_t i = 0; i < burst.size(); ++i) EXPECT_EQ(gotB[fromA.size() + i], burst[i]) << "burst " << i;
  ASSERT_EQ(gotA, fromB);
}

// A message over 65,536 bytes makes browsers' WebRTC close the channel; the
// engine refuses it, and the channel goes on carrying the next messages.
TEST(DataChannel, OversizedMessageIsRefusedAndChannelStaysUsable) {
  PeerPair pair;
  ASSERT_TRUE(pair.waitConnected());
  pair.a->send(binaryRecord(65537, 4));
  pair.a->send("after");
  ASSERT_TRUE(pair.b->waitForMessages(1));
  EXPECT_EQ(pair.b->messages().front(), "after");
  pair.a->send(binaryRecord(65536, 5));
  ASSERT_TRUE(pair.b->waitForMessages(2));
  EXPECT_EQ(pair.b->messages()[1], binaryRecord(65536, 5));
}

// A program hands each received message to its main thread and waits. If
// that main thread is just closing the connection, the engine must not wait
// for the blocked callback.
TEST(DataChannel, CloseWhileCallbackWaitsForClosingThread) {
  PeerPair pair;
  ASSERT_TRUE(pair.waitConnected());
  std::promise<void> callbackEntered, mainDone;
  auto entered = std::make_shared<std::atomic<bool>>(false);
  auto mainFinished = mainDone.get_future().share();
  auto left = std::make_shared<std::atomic<bool>>(false);
  pair.b->onMessage = [&, entered, mainFinished, left](const std::string&) {
    if (!entered->exchange(true)) {
      callbackEntered.set_value();
      mainFinished.wait();  // like a blocking hand-over to the main thread
      left->store(true);
    }
  };
  pair.a->send("first");
  pair.a->send("second");
  ASSERT_EQ(callbackEntered.get_future().wait_for(30s), std::future_status::ready);
  // Statistics asked for meanwhile arrive later, through the same thread;
  // the request itself must not wait for them.
  EXPECT_TRUE(returnsInTime([&] { pair.engine.rtc_get_stats(pair.b->pc, nullptr); }));
  StatsCallback ignored{nullptr, nullptr, nullptr};
  const rtc_handle pcA = pair.a->pc;
  EXPECT_TRUE(returnsInTime([&] { pair.engine.rtc_get_stats(pcA, &ignored); }));
  const rtc_handle pcB = pair.b->pc;
  EXPECT_TRUE(returnsInTime([&] { pair.engine.rtc_close(pcB); }));
  pair.b->pc = 0;
  // The factory too, while the callback still waits.
  const rtc_handle factoryB = pair.factoryB;
  EXPECT_TRUE(returnsInTime([&] { pair.engine.rtc_destroy_factory(factoryB); }));
  mainDone.set_value();
  EXPECT_TRUE(pollUntil([&] { return left->load(); }));  // the peer outlives its callback
}

// The peer keeps sending 64 KiB messages that the program does not take
// (it has not observed the channel yet; a main thread that is busy for a
// long while is the same to the engine). What waits stays within the
// documented bound, and the peer that overran it loses its connection:
// reported once, its waiting messages dropped.
TEST(DataChannel, PeerThatOverrunsTheWaitingMessagesLosesItsConnection) {
  PeerPair pair({}, {}, false);
  pair.b->observeRemoteChannels = false;
  pair.a->offer();
  ASSERT_TRUE(pair.waitConnected());
  std::atomic<bool> stop{false};
  std::atomic<int> sent{0};
  std::thread flood([&] {
    const std::string record = binaryRecord(65536, 11);
    for (; !stop && sent < 4000; ++sent) {
      pair.a->send(record);
      if (sent % 64 == 63) std::this_thread::sleep_for(10ms);  // let SCTP carry them
    }
  });
  EXPECT_TRUE(pair.b->waitForRemoval(120s)) << sent << " messages sent";
  stop = true;
  flood.join();
  EXPECT_GT(sent, RTC_MAX_QUEUED_BYTES / 65536);
  pair.b->observeRemoteChannel();
  pair.a->send("after the end");
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(pair.b->messageCount(), 0u);
  EXPECT_EQ(pair.b->removals, 1);
  EXPECT_EQ(pair.a->removals, 0);
}

// Closing and destroying while messages stream in both directions and are
// being sent from another thread: no crash, no hang, and later calls with
// the dead handles are ignored.
TEST(DataChannel, TeardownWhileDataFlows) {
  for (int round = 0; round < 2; ++round) {
    PeerPair pair;
    ASSERT_TRUE(pair.waitConnected());
    std::atomic<bool> stop{false};
    const rtc_handle channelA = pair.a->channel, channelB = pair.b->channel;
    std::thread sender([&] {
      const std::string record = binaryRecord(65536, 9);
      while (!stop) {
        pair.engine.rtc_send_data(channelA, record.data(), int(record.size()));
        pair.engine.rtc_send_data(channelB, "ping", 4);
        std::this_thread::yield();
      }
    });
    ASSERT_TRUE(pair.b->waitForMessages(20));
    if (round == 0) {
      EXPECT_TRUE(returnsInTime([&] { pair.a->close(); }));
    } else {
      EXPECT_TRUE(returnsInTime([&] { pair.engine.rtc_destroy_factory(pair.factoryA); }));
      pair.a->pc = 0;
    }
    stop = true;
    sender.join();
    pair.engine.rtc_send_data(channelA, "late", 4);
  }
}

TEST(DataChannel, UnknownAndStaleHandlesAreIgnored) {
  Engine& e = Engine::get();
  PeerPair pair;
  ASSERT_TRUE(pair.waitConnected());
  const rtc_handle stalePc = pair.a->pc, staleChannel = pair.a->channel;
  pair.a->close();
  char type[RTC_TEXT_BUFFER] = "x", text[RTC_TEXT_BUFFER] = "x", name[RTC_NAME_BUFFER] = "x";
  int index = 7;
  for (rtc_handle h : {rtc_handle(0), rtc_handle(0x7fffffff), stalePc, staleChannel}) {
    SCOPED_TRACE(h);
    e.rtc_send_data(h, "x", 1);
    e.rtc_datachannel_observe(h, nullptr);
    e.rtc_create_offer(h, nullptr);
    e.rtc_create_answer(h, nullptr);
    e.rtc_set_sdp(h, h, 1, nullptr);
    e.rtc_add_candidate(h, h);
    e.rtc_add_stream(h, h);
    e.rtc_get_stats(h, nullptr);
    e.rtc_close(h);
    e.rtc_get_sdp(h, type, text);
    EXPECT_STREQ(type, "");
    EXPECT_STREQ(text, "");
    e.rtc_get_pc_sdp(h, 1, type, text);
    e.rtc_get_candidate(h, &index, type, text);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(e.rtc_create_datachannel(h, "DataChannel", nullptr), 0u);
    EXPECT_EQ(e.rtc_create_peerconnection(h, h, nullptr), 0u);
    EXPECT_EQ(e.rtc_create_stream(h, "ARDAMS"), 0u);
    EXPECT_EQ(e.rtc_create_videotrack(h, h, "ARDAMSv0"), 0u);
    EXPECT_EQ(e.rtc_create_audiotrack(h, "ARDAMSa0"), 0u);
    EXPECT_EQ(e.rtc_get_videotrack(h, 0), 0u);
    EXPECT_EQ(e.rtc_get_options(h, 1), 0u);
    EXPECT_EQ(e.rtc_audio_source_count(h), 0);
    e.rtc_audio_source_name(h, name, 0);
    EXPECT_STREQ(name, "");
    e.rtc_add_renderer(h, nullptr);
    e.rtc_track_setstate(h, 0);
    e.rtc_add_videotrack(h, h);
    e.rtc_add_audiotrack(h, h);
    e.rtc_remove_videotrack(h, h);
    e.rtc_remove_audiotrack(h, h);
    e.rtc_add_iceserver(h, "stun:127.0.0.1", "", "");
    e.rtc_add_option(h, "maxWidth", "1");
    e.rtc_set_audio_source(h, 0);
    e.rtc_destroy_stream(h);
    e.rtc_destroy_source(h);
    e.rtc_destroy_constraints(h);
    e.rtc_destroy_iceservers(h);
    e.rtc_destroy_audio_module(h);
    e.rtc_destroy_factory(h);
  }
  // A handle of one kind passed where another kind belongs is no match.
  EXPECT_EQ(e.rtc_create_datachannel(pair.factoryB, "DataChannel", nullptr), 0u);
  e.rtc_destroy_factory(pair.b->channel);  // not a factory: nothing happens
  e.rtc_close(pair.b->channel);            // not a connection: nothing happens
  pair.b->send("still open");
  EXPECT_EQ(e.rtc_get_videotrack(pair.b->channel, 0), 0u);
}

// Configured STUN and TURN servers that do not answer (nothing listens on
// these loopback ports) must not keep the peers from connecting directly;
// an entry that is not an ICE URL is skipped.
TEST(DataChannel, UnansweredIceServersDoNotPreventDirectConnection) {
  Engine& e = Engine::get();
  const rtc_handle module = e.rtc_create_audio_module();
  const rtc_handle factoryA = e.rtc_create_factory(module), factoryB = e.rtc_create_factory(module);
  const rtc_handle servers = e.rtc_create_iceservers();
  e.rtc_add_iceserver(servers, "stun:127.0.0.1:9", "", "");
  e.rtc_add_iceserver(servers, "stun:127.0.0.1", "", "");
  e.rtc_add_iceserver(servers, "turn:127.0.0.1:9", "user", "secret");
  e.rtc_add_iceserver(servers, "not an ice server", "", "");
  {
    TestPeer a(factoryA, servers, "a"), b(factoryB, servers, "b");
    a.connectTo(b);
    a.create();
    b.create();
    a.offer();
    ASSERT_TRUE(a.waitForRemoteChannel());
    ASSERT_TRUE(b.waitForRemoteChannel());
    a.send("through");
    ASSERT_TRUE(b.waitForMessages(1));
    EXPECT_EQ(b.messages().front(), "through");
  }
  e.rtc_destroy_iceservers(servers);
  e.rtc_destroy_factory(factoryA);
  e.rtc_destroy_factory(factoryB);
  e.rtc_destroy_audio_module(module);
}

// The program copies each frame into its picture and may wait there for its
// main thread. Messages received meanwhile must not wait behind that frame:
// they arrive, all and in order, on a thread that is not the frame's. Once
// rtc_close returned, no message callback runs, though the peer keeps
// sending and callbacks were running while it closed.
TEST(DataChannel, MessagesKeepFlowingWhileAFrameCallbackIsBlocked) {
  FilledVideo video(320, 240, 10, 0x80);
  PeerPair pair(video.maker(), {}, false);
  std::promise<std::thread::id> frameBlocked;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  auto blocking = std::make_shared<std::atomic<bool>>(true);
  pair.b->onFrame = [&frameBlocked, released, blocking] {
    if (blocking->exchange(false)) {
      frameBlocked.set_value(std::this_thread::get_id());
      released.wait();
    }
  };
  pair.a->offer();
  ASSERT_TRUE(pair.waitConnected());
  auto frameThread = frameBlocked.get_future();
  ASSERT_EQ(frameThread.wait_for(30s), std::future_status::ready) << "no frame arrived";

  std::mutex mutex;
  std::set<std::thread::id> messageThreads;
  pair.b->onMessage = [&](const std::string&) {
    std::lock_guard lock(mutex);
    messageThreads.insert(std::this_thread::get_id());
  };
  std::vector<std::string> sent;
  for (int i = 0; i < 200; ++i) sent.push_back("while blocked " + std::to_string(i) + binaryRecord(size_t(i) * 331 % 9000, i));
  for (const auto& m : sent) pair.a->send(m);
  const bool delivered = pair.b->waitForMessages(sent.size());
  release.set_value();
  ASSERT_TRUE(delivered) << pair.b->messageCount() << " of " << sent.size() << " arrived beside the blocked frame";
  EXPECT_EQ(pair.b->messages(), sent);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(messageThreads.size(), 1u);
    EXPECT_EQ(messageThreads.count(frameThread.get()), 0u);
  }

  // Close while messages stream in and each callback takes longer than the
  // connection's teardown, so that one is running when close is called.
  std::atomic<bool> closeReturned{false}, stop{false};
  std::atomic<int> afterClose{0}, during{0};
  pair.b->keepMessages = false;
  pair.b->onMessage = [&](const std::string&) {
    if (closeReturned) ++afterClose;  // started after close
    ++during;
    std::this_thread::sleep_for(300ms);
    if (closeReturned) ++afterClose;  // still running when close returned
  };
  const rtc_handle channelA = pair.a->channel;
  std::thread sender([&] {
    while (!stop) {
      pair.engine.rtc_send_data(channelA, "more", 4);
      std::this_thread::sleep_for(5ms);
    }
  });
  EXPECT_TRUE(pollUntil([&] { return during >= 2; }));
  pair.b->close();
  closeReturned = true;
  std::this_thread::sleep_for(500ms);  // room for a late callback to show itself
  stop = true;
  sender.join();
  EXPECT_EQ(afterClose.load(), 0);
}
