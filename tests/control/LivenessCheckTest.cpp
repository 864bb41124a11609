// TimerDataTimeout's liveness check for both roles.
#include "control/LivenessCheck.h"

#include "base/ProcessState.h"
#include "control/DateTime.h"
#include "fakes/RecordingRtc.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

constexpr double Second = 1.0 / 86400;

using Lines = std::vector<std::string>;

// The component, with every ended call in the test's log.
struct LoggingPort : testing::RecordingRtc {
    explicit LoggingPort(Lines& log) : calls(log) {}
    void EndCall(const QString& id) override {
        calls.push_back("EndCall " + id.toStdString());
        RecordingRtc::EndCall(id);
    }
    Lines& calls;
};

class Liveness : public ::testing::Test, private ILivenessEvents {
protected:
    Liveness() { client.Activate({}); }  // peers exist only in an active component
    ~Liveness() override {
        processState().MasterMode = false;
        processState().EventsSuspended = false;
        processState().TransferMode = TTransferMode::Idle;
    }

    std::shared_ptr<TPeer> Add(const QString& id, bool alive) {
        auto peer = client.AddPeer(id, client.FindEndPoint());
        peer->Alive = alive;
        return peer;
    }
    // The last frame was drawn at `when`.
    void FrameAt(double when) {
        const double saved = now;
        now = when;
        check.FrameDrawn();
        now = saved;
    }

    Lines calls;
    LoggingPort client{calls};
    double now = 46000.25;
    bool buttonVisible = false;
    PeerMessenger messenger{client};
    LivenessCheck check{client, messenger, *this, [this] { return now; }};

private:
    void TransferTimeoutTick() override { calls.push_back("TransferTimeoutTick"); }
    void SessionsEnded(bool none) override { calls.push_back(none ? "SessionsEnded, none left" : "SessionsEnded"); }
    bool ReconnectButtonVisible() const override { return buttonVisible; }
    void Reconnect() override { calls.push_back("Reconnect"); }
    void UpdateAliveButton() override { calls.push_back("UpdateAliveButton"); }
};

TEST_F(Liveness, HostEndsDisconnectedPeersLastCollectedFirst) {
    Add("111111111", false);
    Add("222222222", true);
    Add("333333333", false);
    check.Tick();
    EXPECT_EQ(calls, (Lines{"EndCall 333333333", "EndCall 111111111", "SessionsEnded"}));
    EXPECT_EQ(client.TakeData(), (std::vector<std::string>{"333333333: DISCONNECT", "111111111: DISCONNECT"}))
        << "each side hears the end before its connection goes";
    EXPECT_EQ(client.PeerCount(), 1);
}

TEST_F(Liveness, HostWithoutLostPeersDoesNothing) {
    check.Tick();
    Add("111111111", true);
    check.Tick();
    EXPECT_TRUE(calls.empty());
}

TEST_F(Liveness, HostReportsWhenNoPeerIsLeft) {
    Add("111111111", false);
    check.Tick();
    EXPECT_EQ(calls, (Lines{"EndCall 111111111", "SessionsEnded, none left"}));
}

TEST_F(Liveness, SkippedWhileEventsAreSuspendedOrATransferRuns) {
    Add("111111111", false);
    processState().EventsSuspended = true;
    check.Tick();
    EXPECT_TRUE(calls.empty());
    processState().EventsSuspended = false;
    processState().TransferMode = TTransferMode::Receiving;
    check.Tick();
    EXPECT_EQ(calls, (Lines{"TransferTimeoutTick"}));
}

class ViewerLiveness : public Liveness {
protected:
    ViewerLiveness() {
        processState().MasterMode = true;
        peer = Add("123456789", true);
        client.SetCurrentViewingPeerID("123456789");
    }
    std::shared_ptr<TPeer> peer;
};

TEST_F(ViewerLiveness, StallAfterReconnectAnnouncementReconnectsByItself) {
    peer->NeedToReconnect = true;
    FrameAt(now - 8.9 * Second);  // 8 whole seconds: not yet
    check.Tick();
    EXPECT_TRUE(calls.empty());
    FrameAt(now - 9 * Second);
    check.Tick();
    EXPECT_EQ(calls, (Lines{"Reconnect"}));
    EXPECT_FALSE(peer->NeedToReconnect);
    EXPECT_EQ(check.LastFrameTime(), now);
    EXPECT_TRUE(peer->Alive);
}

TEST_F(ViewerLiveness, StallWithoutAnnouncementMarksThePeerLost) {
    FrameAt(now - 20 * Second);
    check.Tick();
    EXPECT_FALSE(peer->Alive);
    EXPECT_EQ(calls, (Lines{"UpdateAliveButton"}));
    buttonVisible = true;  // the button now shows: no further updates
    check.Tick();
    EXPECT_EQ(calls, (Lines{"UpdateAliveButton"}));
}

TEST_F(ViewerLiveness, FramesFlowingAgainHideTheButton) {
    FrameAt(now - 2 * Second);
    buttonVisible = true;
    check.Tick();
    EXPECT_EQ(calls, (Lines{"UpdateAliveButton"}));
    calls.clear();
    peer->Alive = false;
    check.Tick();
    EXPECT_TRUE(calls.empty());
}

TEST_F(ViewerLiveness, NothingBeforeTheFirstFrameOrWithoutThePeer) {
    check.Tick();  // LastFrameTime 0
    FrameAt(now - 60 * Second);
    client.SetCurrentViewingPeerID("999999999");
    check.Tick();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(peer->Alive);
}

TEST(DateTime, WholeSecondsAreTruncated) {
    EXPECT_EQ(WholeSecondsBetween(100.0, 100.0 - 8.999 * Second), 8);
    EXPECT_EQ(WholeSecondsBetween(100.0, 100.0 - 9 * Second), 9);
    EXPECT_EQ(WholeSecondsBetween(100.0, 101.0), 0);
    const double a = NowDateTime();
    EXPECT_GT(a, 45000.0);  // after 2023
}

}  // namespace
}  // namespace corvala
