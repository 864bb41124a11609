// The host following its session's lock state, and the picture source it
// activates for each mode.
#include "screen/HostCaptureMode.h"

#include "app/ProcessState.h"
#include "control/PeerMessenger.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

using Lines = std::vector<std::string>;
using platform::SessionChange;

class HostCaptureModeTest : public testing::Test {
protected:
    ~HostCaptureModeTest() override {
        processState().LockScreenMode = false;
        processState().MasterMode = false;
    }
    HostSessionHooks SessionHooks() {
        HostSessionHooks h;
        h.SendReconnectToEveryPeer = [this] { calls.push_back("RECONNECT to every peer"); };
        h.ProcessMessagesFor = [this](int ms) { calls.push_back("process messages " + std::to_string(ms)); };
        h.DeactivateComponent = [this] { calls.push_back("deactivate"); };
        h.CloseDesktopCopyWindow = [this] { calls.push_back("close copy window"); };
        return h;
    }
    Lines calls;
};

TEST_F(HostCaptureModeTest, LockAndUnlockSwitchTheModeAndDropTheCall) {
    EXPECT_TRUE(HostSessionChanged(SessionChange::Locked, SessionHooks()));
    EXPECT_TRUE(processState().LockScreenMode);
    EXPECT_EQ(calls, (Lines{"RECONNECT to every peer", "process messages 1000", "deactivate"}));
    calls.clear();
    EXPECT_FALSE(HostSessionChanged(SessionChange::Locked, SessionHooks()));  // no change: nothing
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(HostSessionChanged(SessionChange::Unlocked, SessionHooks()));
    EXPECT_FALSE(processState().LockScreenMode);
    EXPECT_EQ(calls, (Lines{"RECONNECT to every peer", "process messages 1000", "deactivate", "close copy window"}));
    calls.clear();
    EXPECT_FALSE(HostSessionChanged(SessionChange::LoggedOn, SessionHooks()));
    processState().LockScreenMode = true;  // started before anybody logged on
    EXPECT_TRUE(HostSessionChanged(SessionChange::LoggedOn, SessionHooks()));
    EXPECT_FALSE(processState().LockScreenMode);
}

// With the real send path and component: every viewer is told before the
// call drops (a deactivated component has no peers left to tell), and a
// transfer in progress holds the gated "RECONNECT" back.
TEST_F(HostCaptureModeTest, EveryPeerHearsReconnectBeforeTheCallDrops) {
    TWebRtcClientVcl client(QString(), /*designing=*/true);
    TTransferMode transfer = TTransferMode::Idle;
    PeerMessenger messenger(client, [&] { return transfer; }, [this](const TPeer& peer, const QByteArray& bytes) {
        calls.push_back(peer.FId.toStdString() + " " + bytes.toStdString());
    });
    HostSessionHooks hooks = SessionHooks();
    hooks.SendReconnectToEveryPeer = [&] { messenger.SendMessageToEveryPeer("RECONNECT"); };
    hooks.DeactivateComponent = [&] {
        calls.push_back("deactivate");
        client.SetActive(false);
    };
    const auto connectViewers = [&] {
        client.SetActive(true);
        client.AddPeer("111111111", client.FindEndPoint());
        client.AddPeer("222222222", client.FindEndPoint());
    };

    connectViewers();
    EXPECT_TRUE(HostSessionChanged(SessionChange::Locked, hooks));
    EXPECT_EQ(calls, (Lines{"111111111 RECONNECT", "222222222 RECONNECT", "process messages 1000", "deactivate"}));
    EXPECT_FALSE(client.Active());

    calls.clear();
    connectViewers();
    transfer = TTransferMode::Receiving;
    EXPECT_TRUE(HostSessionChanged(SessionChange::Unlocked, hooks));
    EXPECT_EQ(calls, (Lines{"process messages 1000", "deactivate", "close copy window"}));
}

TEST_F(HostCaptureModeTest, ViewerIgnoresSessionChanges) {
    processState().MasterMode = true;
    EXPECT_FALSE(HostSessionChanged(SessionChange::Locked, SessionHooks()));
    EXPECT_FALSE(processState().LockScreenMode);
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace corvala
