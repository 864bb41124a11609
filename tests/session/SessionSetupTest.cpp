#include "SessionSide.h"

#include "signalling/WirePayloads.h"

#include <gtest/gtest.h>

namespace corvala::testing {
namespace {

constexpr char kHostId[] = "222222222";
constexpr char kViewerId[] = "111111111";

TEST(ApplyIceServerFromPayload, InsertionRule) {
    const TIceServer stun1{"stun:a:19302", "", ""}, stun2{"stun:b", "", ""}, older{"turn:old:3478", "u", "p"};
    const QString url = "turn:10.0.0.7:3478";
    struct Case {
        const char* name;
        bool remember, masterMode, relayRunning, active;
        TIceServers before;
        QString url;
        int expectedIndex;  // -1: not added
    } cases[] = {
        {"viewer learns a host's relay: right after the two STUN servers", false, true, false, false,
         {stun1, stun2, older}, url, 2},
        {"only two entries: appended", false, true, false, false, {stun1, stun2}, url, 2},
        {"server's relay (remember): appended", true, true, false, false, {stun1, stun2, older}, url, 3},
        {"host side, before its activation: nothing", false, false, false, false, {stun1, stun2, older}, url, -1},
        {"host side, active: only the running sessions use it", false, false, false, true, {stun1, stun2, older}, url,
         -1},
        {"own relay running: appended", false, true, true, false, {stun1, stun2, older}, url, 3},
        {"component active: appended", false, true, false, true, {stun1, stun2, older}, url, 3},
        {"URL already listed: nothing", false, true, false, false, {stun1, stun2, older}, "turn:old:3478", -1},
        {"empty URL: nothing", true, true, false, false, {stun1, stun2, older}, "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionSide side(kViewerId, "Viewer");
        side.masterMode = c.masterMode;
        if (c.relayRunning)
            side.relay = OwnRelay{"192.0.2.1", 3478, "ru", "rp"};
        side.rtc.IceServers() = c.before;
        if (c.active)
            side.rtc.Activate({});
        TSessionSetup& s = side.Start();

        s.ApplyIceServerFromPayload(IceServer{"pw", "user", c.url, std::nullopt}, c.remember);

        const TIceServers& after = side.rtc.IceServers();
        if (c.expectedIndex < 0) {
            EXPECT_EQ(after.size(), c.before.size());
        } else {
            ASSERT_EQ(after.size(), c.before.size() + 1);
            EXPECT_EQ(after[c.expectedIndex].Url, c.url);
            EXPECT_EQ(after[c.expectedIndex].UserName, "user");
            EXPECT_EQ(after[c.expectedIndex].Password, "pw");
        }
        const bool live = c.active && (c.expectedIndex >= 0 || !c.masterMode);
        EXPECT_EQ(side.rtc.liveServers.size(), size_t(live ? 1 : 0));
        // The server's relay is remembered even when it has no URL.
        EXPECT_EQ(s.PublicRelay().has_value(), c.remember);
        if (c.remember) {
            EXPECT_EQ(s.PublicRelay()->url, c.url);
        }
    }
}

// Relays learned from servers and hosts, and those viewers bring to a host,
// cannot grow the lists without bound; the configured servers always stay.
TEST(ApplyIceServerFromPayload, ListsStayBounded) {
    const auto relay = [](int i) { return IceServer{"pw", "user", QString("turn:10.0.0.%1:3478").arg(i), std::nullopt}; };
    SessionSide viewer(kViewerId, "Viewer");
    viewer.masterMode = true;
    viewer.rtc.IceServers() = {{"stun:a", "", ""}, {"stun:b", "", ""}};
    TSessionSetup& v = viewer.Start();
    for (int i = 0; i < 50; ++i) v.ApplyIceServerFromPayload(relay(i), true);
    const TIceServers& kept = viewer.rtc.IceServers();
    ASSERT_EQ(kept.size(), 2 + TSessionSetup::MaxLearnedRelays);
    EXPECT_EQ(kept[0].Url, "stun:a");
    EXPECT_EQ(kept[1].Url, "stun:b");
    EXPECT_EQ(kept.last().Url, "turn:10.0.0.49:3478") << "the newest is kept, the oldest made room";

    SessionSide host(kHostId, "Host");
    host.rtc.Activate({});
    TSessionSetup& h = host.Start();
    for (int i = 0; i < 50; ++i) h.ApplyIceServerFromPayload(relay(i), false);
    EXPECT_EQ(host.rtc.liveServers.size(), std::size_t(TSessionSetup::MaxSessionRelays));
    EXPECT_TRUE(host.rtc.IceServers().isEmpty()) << "nothing a viewer sent outlives the sessions";
}

class HostTest : public ::testing::Test {
protected:
    SessionSide host{kHostId, "Host PC"};
    TSessionSetup& s = host.Start();

    void deliver(const QString& from, const QString& type, const QString& payload = {},
                 const QString& password = "secret-pw", const QString& username = "Viewer") {
        s.HandlePeerMessage(PeerMessageObject(from, kHostId, type, payload, password, username));
    }
    QString viewerTurnPayload() const {
        return SessionInfoPayload::Make(IceServer{"vp", "vu", "turn:198.51.100.2:3478", std::nullopt}, {{0, 0, 800, 600}}, 0,
                                        false, "AA")
            .toJson();
    }
};

TEST_F(HostTest, InitIsAnsweredWithTheOwnSessionInfo) {
    host.screens.Monitors = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    deliver(kViewerId, "init");
    const auto out = host.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].msg, "message");
    EXPECT_EQ(out[0].from, kHostId);
    EXPECT_EQ(out[0].to, kViewerId);
    EXPECT_EQ(out[0].type, "turn");
    EXPECT_EQ(out[0].password, "");
    EXPECT_EQ(out[0].username, "Host PC");
    EXPECT_EQ(out[0].version, "42");
    const QJsonObject info = *ParsePayloadObject(out[0].payload);
    EXPECT_EQ(info.value("screen_monitorcoordinates").toString(), "m0l0m0t0m0w1920m0h1080m1l1920m1t0m1w1280m1h1024m");
    EXPECT_EQ(info.value("hw_macaddress").toString(), "00-11-22-33-44-55");
    EXPECT_TRUE(host.rtc.PeerCount() == 0 && host.rtc.activations.empty()) << "nothing else happens on init";
}

TEST_F(HostTest, RefusalsEchoThePasswordWithoutNameOrVersion) {
    deliver(kViewerId, "init", {}, "guess");
    const auto out = host.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, "error");
    EXPECT_EQ(out[0].username, "");
    EXPECT_EQ(out[0].version, "");
    EXPECT_EQ(out[0].password, "");
    const auto error = ErrorObject::FromJson(out[0].payload);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->type, "invalid_password");
    EXPECT_EQ(error->payload, "guess");

    // The gate guards every type, not only "init".
    deliver(kViewerId, "turn", viewerTurnPayload(), "guess");
    EXPECT_EQ(host.rtc.PeerCount(), 0);
    EXPECT_TRUE(host.rtc.activations.empty());
}

TEST_F(HostTest, ViewersTurnStartsTheScreenMakesThePeerAndOffers) {
    deliver(kViewerId, "turn", viewerTurnPayload(), "secret-pw", "Viewer [Android]");
    ASSERT_EQ(host.rtc.activations.size(), 1u);
    EXPECT_EQ(host.rtc.activations[0].CameraId, 999);
    EXPECT_TRUE(host.rtc.activations[0].VideoCallEnabled);
    EXPECT_EQ(host.rtc.activations[0].MaxWidth, 1920);
    EXPECT_EQ(host.rtc.activations[0].MaxHeight, 1080);
    // The viewer's relay serves this activation's sessions, not later ones.
    EXPECT_TRUE(host.rtc.IceServers().isEmpty());
    ASSERT_EQ(host.rtc.liveServers.size(), 1u);
    EXPECT_EQ(host.rtc.liveServers[0].Url, "turn:198.51.100.2:3478");

    const auto peer = host.rtc.FindPeer(kViewerId);
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->UserName, "Viewer [Android]");
    EXPECT_TRUE(peer->Alive);
    EXPECT_EQ(peer->AppVersion, 42);
    EXPECT_EQ(host.log, QStringList{"Incoming connection from Viewer [Android] (111111111)"});
    EXPECT_EQ(host.shownForSession, 1);
    EXPECT_EQ(host.bookLocked, 1);
    EXPECT_EQ(host.magnifier, std::vector<bool>{true}) << "mobile viewer";
    EXPECT_EQ(host.rtc.microphone, (std::vector<std::pair<QString, bool>>{{kViewerId, false}}));
    EXPECT_EQ(host.rtc.offers, QStringList{kViewerId});

    // A second viewer: the component keeps running, the peer gets its own
    // end point, log line and offer.
    deliver("333333333", "turn", viewerTurnPayload(), "secret-pw", "Second");
    EXPECT_EQ(host.rtc.activations.size(), 1u);
    ASSERT_TRUE(host.rtc.FindPeer("333333333"));
    EXPECT_NE(host.rtc.FindPeer("333333333")->EndPoint(), peer->EndPoint());
    EXPECT_EQ(host.log.size(), 2);
    EXPECT_EQ(host.rtc.offers, (QStringList{kViewerId, "333333333"}));

    // The first viewer again: its peer is replaced, no second log line.
    deliver(kViewerId, "turn", viewerTurnPayload());
    const auto replaced = host.rtc.FindPeer(kViewerId);
    ASSERT_TRUE(replaced);
    EXPECT_NE(replaced.get(), peer.get());
    EXPECT_EQ(host.log.size(), 2);
    EXPECT_EQ(host.rtc.offers.size(), 3);
    EXPECT_EQ(host.rtc.PeerCount(), 2);
}

TEST_F(HostTest, LockScreenStreamsTheDesktopCopyWindow) {
    host.lockScreenMode = true;
    deliver(kViewerId, "turn", viewerTurnPayload());
    ASSERT_EQ(host.rtc.activations.size(), 1u);
    EXPECT_EQ(host.rtc.activations[0].CameraId, 998);
    EXPECT_EQ(host.rtc.activations[0].CameraSource, 4242ul);
}

TEST_F(HostTest, NoFreeEndPointMakesNoPeerAndNoOffer) {
    host.rtc.endPointsExhausted = true;
    deliver(kViewerId, "turn", viewerTurnPayload());
    EXPECT_EQ(host.rtc.PeerCount(), 0);
    EXPECT_TRUE(host.rtc.offers.isEmpty());
    EXPECT_TRUE(host.log.isEmpty());
    EXPECT_EQ(host.shownForSession, 0);
}

TEST_F(HostTest, AnswerAndCandidateReachTheComponent) {
    deliver(kViewerId, "turn", viewerTurnPayload());
    deliver(kViewerId, "answer", SdpObject{"answer", "v=0\r\n"}.toJson());
    deliver(kViewerId, "candidate", CandidateObject{1, "video", "candidate:1 1 UDP 1 127.0.0.1 5000 typ host"}.toJson());
    ASSERT_EQ(host.rtc.remoteSdps.size(), 1u);
    EXPECT_EQ(host.rtc.remoteSdps[0].type, "answer");
    EXPECT_EQ(host.rtc.remoteSdps[0].sdp, "v=0\r\n");
    ASSERT_EQ(host.rtc.candidates.size(), 1u);
    EXPECT_EQ(host.rtc.candidates[0].id, "video");
    EXPECT_EQ(host.rtc.candidates[0].label, 1);
}

class ViewerTest : public ::testing::Test {
protected:
    ViewerTest() {
        viewer.masterMode = true;
        viewer.settings.RecentConnections = QString("\"Host PC (%1)\",444444444").arg(kHostId);
    }
    SessionSide viewer{kViewerId, "Viewer"};
    TSessionSetup& s = viewer.Start();

    void deliver(const QString& type, const QString& payload = {}, const QString& username = "Host PC",
                 const QString& from = kHostId) {
        s.HandlePeerMessage(PeerMessageObject(from, kViewerId, type, payload, {}, username));
    }
    QString hostTurnPayload() const {
        return SessionInfoPayload::Make({}, {{0, 0, 1280, 800}, {1280, 0, 1024, 768}}, 1, false, "AB-CD").toJson();
    }
};

TEST_F(ViewerTest, HostsTurnMakesPeerAndTabAndIsAnswered) {
    s.ConnectConfirmed(QString("Host PC (%1)").arg(kHostId), "pw-typed");
    s.SendInitAfterPublicTurn(true);
    viewer.TakeSent();

    deliver("turn", hostTurnPayload());
    ASSERT_EQ(viewer.rtc.activations.size(), 1u);
    EXPECT_FALSE(viewer.rtc.activations[0].VideoCallEnabled);
    EXPECT_EQ(viewer.rtc.activations[0].CameraId, 999);
    const auto peer = viewer.rtc.FindPeer(kHostId);
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->Password, "pw-typed");
    EXPECT_EQ(peer->MultipleMonitorsCount, 2);
    EXPECT_EQ(peer->CurrentMonitor, 1);
    EXPECT_EQ(peer->DesktopWidth, 2304);
    EXPECT_FALSE(peer->DemonstrationMode);
    EXPECT_EQ(viewer.tabs, QStringList{"Host PC (222222222)"});
    EXPECT_EQ(viewer.rtc.CurrentViewingPeerID(), kHostId);
    EXPECT_EQ(viewer.wakeOnLan, QStringList{"222222222=AB-CD"});
    EXPECT_EQ(viewer.log, QStringList{"Outgoing connection to Host PC (222222222)"});

    const auto out = viewer.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, "turn");
    EXPECT_EQ(out[0].to, kHostId);
    EXPECT_EQ(out[0].password, "pw-typed");
    EXPECT_EQ(out[0].username, "Viewer");

    // A repeated "init" (reconnect): new peer, same tab, same password.
    deliver("turn", hostTurnPayload());
    const auto again = viewer.rtc.FindPeer(kHostId);
    ASSERT_TRUE(again);
    EXPECT_NE(again.get(), peer.get());
    EXPECT_EQ(again->Password, "pw-typed");
    EXPECT_EQ(viewer.tabs.size(), 1);
    EXPECT_EQ(viewer.selectedTabs, QStringList{kHostId});
    EXPECT_EQ(viewer.log.size(), 1);
}

// A viewer answers only hosts it sent "init" to in this run: a stranger, or
// a host from the history that was not asked this time, learns nothing (no
// session information, no password) and opens no tab.
TEST_F(ViewerTest, MessagesFromIdsNotAskedForAreIgnored) {
    deliver("turn", hostTurnPayload(), "Stranger", "999999999");
    deliver("init", {}, "Stranger", "999999999");
    deliver("turn", hostTurnPayload(), "Host PC", kHostId);  // in the history, not asked
    deliver("init", {}, "Host PC", "444444444");
    EXPECT_EQ(viewer.rtc.PeerCount(), 0);
    EXPECT_TRUE(viewer.tabs.isEmpty());
    EXPECT_TRUE(viewer.TakeSent().empty());

    s.ConnectConfirmed(QString(kHostId), "pw-for-host");
    s.SendInitAfterPublicTurn(true);
    viewer.TakeSent();
    deliver("turn", hostTurnPayload(), "Other", "444444444");  // another host still not asked
    EXPECT_TRUE(viewer.TakeSent().empty());
    deliver("turn", hostTurnPayload());
    const auto out = viewer.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].to, kHostId);
    EXPECT_EQ(out[0].password, "pw-for-host");
}

TEST_F(ViewerTest, MobileHostRunsInDemonstrationMode) {
    s.ConnectConfirmed(QString(kHostId), "pw");
    s.SendInitAfterPublicTurn(true);
    deliver("turn", hostTurnPayload(), "Phone [Android]");
    const auto peer = viewer.rtc.FindPeer(kHostId);
    ASSERT_TRUE(peer);
    EXPECT_TRUE(peer->DemonstrationMode);
    EXPECT_EQ(viewer.nonModalWarnings.size(), 1);
    EXPECT_EQ(viewer.voiceWindows, QStringList{kHostId});
    // The display name in the history follows the host's.
    EXPECT_TRUE(viewer.settings.RecentConnections.contains("Phone [Android] (222222222)"));
}

TEST_F(ViewerTest, RefusalsAreShownOnlyForThePasswordLastSent) {
    s.ConnectConfirmed(QString(kHostId), "first");
    s.SendInitAfterPublicTurn(true);
    s.ConnectConfirmed(QString(kHostId), "second");
    s.SendInitAfterPublicTurn(true);
    deliver("error", ErrorObject{"invalid_password", "first"}.toJson());
    EXPECT_TRUE(viewer.warnings.isEmpty());
    deliver("error", ErrorObject{"invalid_password", "second"}.toJson());
    EXPECT_EQ(viewer.warnings, QStringList{"Invalid password."});
}

TEST_F(ViewerTest, WritersCarryTheAddressedPeersPassword) {
    // Two hosts, each with its own password; the descriptions and
    // candidates for each carry that host's password.
    s.ConnectConfirmed(QString(kHostId), "pw-one");
    s.SendInitAfterPublicTurn(true);
    deliver("turn", hostTurnPayload());
    s.ConnectConfirmed("444444444", "pw-two");
    s.SendInitAfterPublicTurn(true);
    deliver("turn", hostTurnPayload(), "Other", "444444444");
    viewer.TakeSent();

    s.rtcClientSdpCreateSuccess(viewer.rtc.FindPeer(kHostId).get(), "answer", "v=0");
    s.rtcClientIceCandidate(viewer.rtc.FindPeer(kHostId).get(), 0, "audio", "candidate:x");
    s.rtcClientSdpCreateSuccess(viewer.rtc.FindPeer("444444444").get(), "answer", "v=0");
    const auto out = viewer.TakeSent();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].type, "answer");
    EXPECT_EQ(out[0].password, "pw-one");
    EXPECT_EQ(SdpObject::FromJson(out[0].payload)->sdp, "v=0");
    EXPECT_EQ(out[1].type, "candidate");
    EXPECT_EQ(out[1].password, "pw-one");
    EXPECT_EQ(CandidateObject::FromJson(out[1].payload)->id, "audio");
    EXPECT_EQ(out[2].password, "pw-two");
}

class ConnectActionTest : public ::testing::Test {
protected:
    SessionSide side{kViewerId, "Me"};
};

TEST_F(ConnectActionTest, NotJoinedShowsTheErrorAndSendsNothing) {
    side.connected = false;
    TSessionSetup& s = side.Start();
    EXPECT_FALSE(s.ConnectAction(true));
    EXPECT_EQ(side.errors, QStringList{"Unable to connect to server. Please try again in a minute."});
    EXPECT_EQ(side.dialogShown, 0);
    EXPECT_TRUE(side.sent.empty());
}

TEST_F(ConnectActionTest, FirstConnectionAsksAndCancelKeepsTheHost) {
    side.confirmAnswer = false;
    TSessionSetup& s = side.Start();
    EXPECT_FALSE(s.ConnectAction(true));
    ASSERT_EQ(side.confirmations.size(), 1);
    EXPECT_TRUE(side.confirmations[0].startsWith("Do you want to connect to the remote computer"));
    EXPECT_TRUE(side.confirmations[0].contains("\n\nIf you are waiting for a remote user"));
    EXPECT_FALSE(side.masterMode);
    EXPECT_EQ(side.dialogShown, 0);
}

TEST_F(ConnectActionTest, HostWithViewersClosesThemThenBecomesAViewer) {
    side.settings.RecentConnections = "555555555";
    side.rtc.Activate({});
    side.rtc.AddPeer("777777777", 0);
    side.dialogAnswer = ConnectionDialogResult{"1a2b 3c4d", "pw"};
    TSessionSetup& s = side.Start();
    EXPECT_TRUE(s.ConnectAction(true));
    EXPECT_EQ(side.confirmations, QStringList{"All current connections will be closed. Do you want to continue?"});
    EXPECT_EQ(side.disconnectAll, 1);
    EXPECT_TRUE(side.masterMode);
    EXPECT_EQ(side.viewerLayout, 1);
    const auto out = side.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].msg, "getpublicturn");
    EXPECT_EQ(out[0].type, "newconnection");
    EXPECT_EQ(out[0].payload, "DE");
    EXPECT_EQ(out[0].to + out[0].username + out[0].password + out[0].version, "");
}

TEST_F(ConnectActionTest, OwnRelaySendsInitStraightAway) {
    side.masterMode = true;
    side.relay = OwnRelay{"192.0.2.1", 3478, "ru", "rp"};
    side.dialogAnswer = ConnectionDialogResult{"Office (333333333)", "pw"};
    TSessionSetup& s = side.Start();
    EXPECT_TRUE(s.ConnectAction(false));
    EXPECT_TRUE(side.confirmations.isEmpty());
    const auto out = side.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, "init");
    EXPECT_EQ(out[0].to, "333333333");
    EXPECT_EQ(out[0].password, "pw");
    EXPECT_EQ(out[0].username, "Me");
    EXPECT_EQ(out[0].version, "42");
    // The own relay is what a host would be offered in our "turn".
    EXPECT_EQ(s.OwnSessionInfo().ice.url, "turn:192.0.2.1:3478");
}

TEST_F(ConnectActionTest, CommandLineRequestWaitsForTheLink) {
    side.connected = false;
    side.settings.RecentConnections = "555555555";
    TSessionSetup& s = side.Start();
    s.ConnectFromCommandLine({"Lab (333333333)", "lab-pw"});
    EXPECT_EQ(side.dialogShown, 0);
    EXPECT_TRUE(side.errors.isEmpty()) << "no error box while the link comes up";

    side.connected = true;
    s.SignallingJoined();
    EXPECT_EQ(side.dialogShown, 1);
    EXPECT_TRUE(side.masterMode);
    EXPECT_EQ(side.settings.RecentConnections, "\"Lab (333333333)\",555555555");
    auto out = side.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].msg, "getpublicturn");
    s.SendInitAfterPublicTurn(true);
    out = side.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].to, "333333333");
    EXPECT_EQ(out[0].password, "lab-pw");

    // The link joining again later does not repeat the request, and the
    // next dialog opens empty.
    s.SignallingJoined();
    EXPECT_EQ(side.dialogShown, 1);
    side.dialogAnswer.reset();
    s.ConnectAction(false);
    EXPECT_EQ(side.dialogShown, 2);
    EXPECT_TRUE(side.TakeSent().empty());
}

TEST_F(ConnectActionTest, ReconnectButton) {
    side.masterMode = true;
    TSessionSetup& s = side.Start();
    side.rtc.Activate({});
    side.rtc.AddPeer("333333333", 0)->Password = "stored-pw";
    side.rtc.SetCurrentViewingPeerID("333333333");

    // Without a sender (the liveness check): "init" straight away.
    EXPECT_TRUE(s.Reconnect(true));
    auto out = side.TakeSent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, "init");
    EXPECT_EQ(out[0].to, "333333333");
    EXPECT_EQ(out[0].password, "stored-pw");

    side.connected = false;
    EXPECT_FALSE(s.Reconnect(false));
    EXPECT_EQ(side.errors, QStringList{"Unable to connect to server. Please try again in a minute."});
    EXPECT_TRUE(side.TakeSent().empty());
}

}  // namespace
}  // namespace corvala::testing
