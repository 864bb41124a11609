// TimerDataTimeout's liveness check for both roles.
#include "control/LivenessCheck.h"

#include "app/ProcessState.h"
#include "control/DateTime.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

using Lines = std::vector<std::string>;
constexpr double Second = 1.0 / 86400;

class Liveness : public testing::Test {
protected:
    Liveness() { client.SetActive(true); }  // peers exist only in an active component
    ~Liveness() override {
        processState().MasterMode = false;
        processState().EventsSuspended = false;
    }

    std::shared_ptr<TPeer> Add(const QString& id, bool alive) {
        auto peer = client.AddPeer(id, client.FindEndPoint());
        peer->Alive = alive;
        return peer;
    }

    LivenessHooks Hooks() {
        LivenessHooks h;
        h.TransferMode = [this] { return transfer; };
        h.TransferTimeoutTick = [this] { calls.push_back("TransferTimeoutTick"); };
        h.EndCall = [this](const QString& id) {
            calls.push_back("EndCall " + id.toStdString());
            client.EndCall(id);
        };
        h.SessionsEnded = [this](bool none) { calls.push_back(none ? "SessionsEnded, none left" : "SessionsEnded"); };
        h.LastFrameTime = [this] { return lastFrame; };
        h.SetLastFrameTime = [this](double t) { lastFrame = t; };
        h.ReconnectButtonVisible = [this] { return buttonVisible; };
        h.Reconnect = [this] { calls.push_back("Reconnect"); };
        h.UpdateAliveButton = [this] { calls.push_back("UpdateAliveButton"); };
        h.Now = [this] { return now; };
        return h;
    }

    TWebRtcClientVcl client{QString(), /*designing=*/true};
    TTransferMode transfer = TTransferMode::Idle;
    double now = 46000.25;
    double lastFrame = 0;
    bool buttonVisible = false;
    Lines calls;
    LivenessCheck check{client, Hooks()};
};

TEST_F(Liveness, HostEndsDisconnectedPeersLastCollectedFirst) {
    Add("111111111", false);
    Add("222222222", true);
    Add("333333333", false);
    check.Tick();
    EXPECT_EQ(calls, (Lines{"EndCall 333333333", "EndCall 111111111", "SessionsEnded"}));
    EXPECT_EQ(client.Peers.Count(), 1);
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
    transfer = TTransferMode::Receiving;
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
    lastFrame = now - 8.9 * Second;  // 8 whole seconds: not yet
    check.Tick();
    EXPECT_TRUE(calls.empty());
    lastFrame = now - 9 * Second;
    check.Tick();
    EXPECT_EQ(calls, (Lines{"Reconnect"}));
    EXPECT_FALSE(peer->NeedToReconnect);
    EXPECT_EQ(lastFrame, now);
    EXPECT_TRUE(peer->Alive);
}

TEST_F(ViewerLiveness, StallWithoutAnnouncementMarksThePeerLost) {
    lastFrame = now - 20 * Second;
    check.Tick();
    EXPECT_FALSE(peer->Alive);
    EXPECT_EQ(calls, (Lines{"UpdateAliveButton"}));
    buttonVisible = true;  // the button now shows: no further updates
    check.Tick();
    EXPECT_EQ(calls, (Lines{"UpdateAliveButton"}));
}

TEST_F(ViewerLiveness, FramesFlowingAgainHideTheButton) {
    lastFrame = now - 2 * Second;
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
    lastFrame = now - 60 * Second;
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
