// A viewer and a host, each with its own session set-up, talk through a
// relay that behaves like the signalling server: peer messages go to the
// side named in `to`, "getpublicturn" is answered with "publicturn". The
// components answer description requests as the engine would, so a whole
// set-up runs from the connect click to the exchanged candidates.

#include "SessionSide.h"

#include "signalling/WirePayloads.h"

#include <gtest/gtest.h>

#include <map>

namespace corvala::testing {
namespace {

class Relay {
public:
    void Join(SessionSide& side) { FSides[side.settings.DeviceId] = &side; }

    // Delivers every written line until no side writes any more.
    void Pump() {
        for (int rounds = 0; rounds < 1000; ++rounds) {
            bool moved = false;
            for (auto& [id, side] : FSides) {
                for (const Envelope& e : side->TakeSent()) {
                    moved = true;
                    route(*side, e);
                }
            }
            if (!moved)
                return;
        }
        FAIL() << "the two sides never went quiet";
    }

    std::vector<Envelope> delivered;
    IceServer serverRelay{"relay-pw", "relay-user", "turn:127.0.0.1:3478", std::nullopt};

private:
    void route(SessionSide& sender, const Envelope& e) {
        if (e.msg == "getpublicturn") {
            sender.session->ApplyIceServerFromPayload(serverRelay, true);
            sender.session->SendInitAfterPublicTurn(e.type == "newconnection");
            return;
        }
        delivered.push_back(e);
        const auto to = FSides.find(e.to);
        if (e.msg == "message" && to != FSides.end())
            to->second->session->HandlePeerMessage(*ParseSignallingLine(e.toLine()));
    }

    std::map<QString, SessionSide*> FSides;
};

class SessionFlow : public ::testing::Test {
protected:
    SessionFlow() {
        host.settings.HostPassword = "host-pw-8";
        host.Start();
        viewer.Start();
        relay.Join(host);
        relay.Join(viewer);
        // The engines: an offer or answer is made at once; each side then
        // finds one candidate.
        for (SessionSide* side : {&host, &viewer}) {
            side->rtc.OnDescriptionRequested = [side](TPeer* peer, const QString& type) {
                side->session->rtcClientSdpCreateSuccess(peer, type, "v=0\r\no=- " + side->settings.DeviceId + "\r\n");
                side->session->rtcClientIceCandidate(peer, 0, "0", "candidate:" + side->settings.DeviceId);
            };
        }
    }

    void connect(const QString& idText, const QString& password) {
        viewer.dialogAnswer = ConnectionDialogResult{idText, password};
        viewer.session->ConnectAction(true);
        relay.Pump();
    }

    SessionSide host{"222222222", "Host PC"};
    SessionSide viewer{"111111111", "Viewer"};
    Relay relay;
};

TEST_F(SessionFlow, RightPasswordSetsUpBothPeers) {
    connect("222222222", "host-pw-8");

    QStringList types;
    for (const Envelope& e : relay.delivered)
        types << e.from.left(1) + ":" + e.type;
    EXPECT_EQ(types.join(' '), "1:init 2:turn 1:turn 2:offer 2:candidate 1:answer 1:candidate");

    EXPECT_TRUE(viewer.masterMode);
    const auto viewerPeer = viewer.rtc.FindPeer("222222222");
    const auto hostPeer = host.rtc.FindPeer("111111111");
    ASSERT_TRUE(viewerPeer && hostPeer);
    EXPECT_EQ(viewerPeer->UserName, "Host PC");
    EXPECT_EQ(hostPeer->UserName, "Viewer");
    EXPECT_EQ(viewer.tabs, QStringList{"Host PC (222222222)"});
    EXPECT_EQ(host.log, QStringList{"Incoming connection from Viewer (111111111)"});
    EXPECT_TRUE(host.warnings.isEmpty() && viewer.warnings.isEmpty());

    // Offer, answer and both candidates reached the other side's component.
    ASSERT_EQ(viewer.rtc.answersMade.size(), 1u);
    EXPECT_EQ(viewer.rtc.answersMade[0].sdp, "v=0\r\no=- 222222222\r\n");
    ASSERT_EQ(host.rtc.remoteSdps.size(), 1u);
    EXPECT_EQ(host.rtc.remoteSdps[0].type, "answer");
    ASSERT_EQ(host.rtc.candidates.size(), 1u);
    EXPECT_EQ(host.rtc.candidates[0].candidate, "candidate:111111111");
    ASSERT_EQ(viewer.rtc.candidates.size(), 1u);

    // The server's relay went to both sides: remembered by the viewer and
    // handed to the host in the viewer's "turn", for this session's use.
    ASSERT_TRUE(viewer.session->PublicRelay());
    ASSERT_EQ(host.rtc.liveServers.size(), 1u);
    EXPECT_EQ(host.rtc.liveServers[0].Url, "turn:127.0.0.1:3478");
    // The history holds the host under its display name now.
    EXPECT_EQ(viewer.settings.RecentConnections, "\"Host PC (222222222)\"");
}

TEST_F(SessionFlow, WrongPasswordsEndInALockOut) {
    connect("222222222", "nope");
    EXPECT_EQ(viewer.warnings, QStringList{"Invalid password."});
    EXPECT_EQ(viewer.rtc.PeerCount(), 0);
    EXPECT_EQ(host.rtc.PeerCount(), 0);

    for (int i = 2; i <= 6; ++i)
        connect("222222222", "nope" + QString::number(i));
    EXPECT_EQ(viewer.warnings.size(), 6);
    EXPECT_EQ(viewer.warnings.last(),
              "Invalid password.\n\nToo many failed attempts. Please try again in 30 seconds.");

    host.nowMs += 5'000;
    connect("222222222", "host-pw-8");
    EXPECT_EQ(viewer.warnings.last(), "Too many failed attempts. Please try again in 25 seconds.");
    EXPECT_EQ(host.rtc.PeerCount(), 0);

    host.nowMs += 25'000;
    connect("222222222", "host-pw-8");
    EXPECT_EQ(viewer.warnings.size(), 7);
    EXPECT_TRUE(host.rtc.FindPeer("111111111"));
}

TEST_F(SessionFlow, ReconnectingToAnEarlierHostUsesItsOwnPassword) {
    SessionSide second{"333333333", "Second"};
    second.settings.HostPassword = "second-pw";
    second.Start();
    relay.Join(second);

    connect("222222222", "host-pw-8");
    connect("333333333", "second-pw");
    ASSERT_TRUE(viewer.rtc.FindPeer("333333333"));

    // Back to the first host's tab, then "Reconnect" (the server route).
    viewer.rtc.SetCurrentViewingPeerID("222222222");
    host.log.clear();
    viewer.session->Reconnect(/*withoutSender=*/false);
    ASSERT_EQ(viewer.sent.size(), 1u);
    const Envelope ask = Envelope::FromObject(*ParseSignallingLine(viewer.sent[0]));
    EXPECT_EQ(ask.msg, "getpublicturn");
    EXPECT_EQ(ask.type, "") << "an empty type sends the init to the current tab's peer";
    relay.Pump();
    EXPECT_TRUE(viewer.warnings.isEmpty()) << viewer.warnings.join('|').toStdString();
    EXPECT_EQ(host.rtc.remoteSdps.size(), 2u) << "the host admitted the second answer";
    EXPECT_TRUE(host.log.isEmpty()) << "a reconnection writes no second log line";
}

}  // namespace
}  // namespace corvala::testing
