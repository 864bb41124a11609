// The description and candidate writers run on the media engine's threads
// while the main thread keeps handling messages and the user may rename the
// computer. Every line must still come out whole, with this side's ID and one
// of the names it really had.

#include "SessionSide.h"

#include "signalling/WirePayloads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace corvala::testing {
namespace {

TEST(WriterThreads, EngineThreadLinesStayWholeWhileTheMainThreadWorks) {
    SessionSide host("222222222", "Name-0");
    TSessionSetup& s = host.Start();
    s.HandlePeerMessage(PeerMessageObject("111111111", "222222222", "turn", "{}", "secret-pw"));
    const std::shared_ptr<TPeer> peer = host.rtc.FindPeer("111111111");
    ASSERT_TRUE(peer);
    host.TakeSent();

    constexpr int kLines = 500;
    std::atomic<bool> go{false};
    std::thread engine([&] {
        while (!go) {
        }
        for (int i = 0; i < kLines; ++i)
            s.rtcClientIceCandidate(peer.get(), i % 2, "0", "candidate:" + QString::number(i));
    });
    go = true;
    for (int i = 0; i < kLines; ++i) {
        host.settings.DisplayName = "Name-" + QString::number(i % 7);
        s.HandlePeerMessage(PeerMessageObject("333333333", "222222222", "init", {}, "secret-pw"));
    }
    engine.join();

    int candidates = 0;
    for (const Envelope& e : host.TakeSent()) {
        EXPECT_EQ(e.from, "222222222");
        EXPECT_TRUE(e.username.startsWith("Name-")) << e.username.toStdString();
        if (e.type == "candidate") {
            ++candidates;
            EXPECT_EQ(e.password, "") << "a host sends no password";
            const auto c = CandidateObject::FromJson(e.payload);
            ASSERT_TRUE(c);
            EXPECT_TRUE(c->candidate.startsWith("candidate:"));
        }
    }
    EXPECT_EQ(candidates, kLines);
}

}  // namespace
}  // namespace corvala::testing
