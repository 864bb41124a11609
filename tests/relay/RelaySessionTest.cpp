// A real session through crserver: two media engines whose ICE may use
// nothing but relayed candidates connect through it and exchange video and
// data both ways. Runs in a namespace of its own with only loopback; the
// relayed addresses (10.77.0.1) are not even routable there, so nothing can
// pass beside the relay.
#include "RelayedPair.h"
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace corvala::relay {
namespace {

using namespace std::chrono_literals;
using engine_test::FilledVideo;

TEST(RelaySession, EnginesConnectThroughTheRelayAndExchangeVideoAndData) {
  testing::ServerProcess relay("crserver", {"-public-ip", "10.77.0.1", "-port", "3478", "-users", "viewer=pa55word"});
  ASSERT_EQ(relay.port(), 3478) << "crserver did not start";
  const struct {
    const char* name;
    const char* url;
  } transports[] = {
      {"clients over UDP", "turn:127.0.0.1:3478"},
      {"clients over TCP", "turn:127.0.0.1:3478?transport=tcp"},
  };
  for (const auto& t : transports) {
    SCOPED_TRACE(t.name);
    FilledVideo video(640, 360, 15, 0x5A);
    RelayedPair pair({t.url, "viewer", "pa55word"}, video.maker());
    ASSERT_TRUE(pair.waitConnected()) << "no data channel through the relay";
    EXPECT_GT(pair.relayedCandidates.load(), 0);

    pair.a->send("from a through the relay");
    pair.b->send("from b through the relay");
    ASSERT_TRUE(pair.b->waitForMessages(1));
    ASSERT_TRUE(pair.a->waitForMessages(1));
    EXPECT_EQ(pair.b->messages().front(), "from a through the relay");
    EXPECT_EQ(pair.a->messages().front(), "from b through the relay");
    // Larger messages come through whole and in order.
    const std::string big(60000, 'x');
    for (int i = 0; i < 20; ++i) pair.a->send(std::to_string(i) + big);
    ASSERT_TRUE(pair.b->waitForMessages(21));
    const auto received = pair.b->messages();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(received[size_t(i) + 1], std::to_string(i) + big);

    ASSERT_TRUE(pair.b->waitForFrames(15)) << "no video through the relay";
    const auto frame = pair.b->lastFrame();
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 360);
    ASSERT_FALSE(frame.pixels.empty());
    // A uniform picture survives the codec close to its value.
    EXPECT_NEAR(int(frame.pixels[frame.pixels.size() / 2]), 0x5A, 8);
  }
  EXPECT_TRUE(relay.running());
}

}  // namespace
}  // namespace corvala::relay
