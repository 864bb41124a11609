// The viewer's input senders: the send gate, the key sender's held-key list,
// the Windows-key Escape and Alt+F4 rules, buttons, moves and the wheel.
#include "control/ViewerInput.h"

#include "base/ProcessState.h"
#include "fakes/RecordingRtc.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const QString HostId = QStringLiteral("123456789");

class ViewerInputTest : public ::testing::Test, private IViewerInputEvents {
public:
    ViewerInputTest() {
        processState().MasterMode = true;
        client.Activate({});  // peers exist only in an active component
        peer = client.AddPeer(HostId, client.FindEndPoint());
        peer->Alive = true;
        peer->FFrameWidth = 1920;
        peer->FFrameHeight = 1200;
        peer->DesktopWidth = 1920;
        peer->DesktopHeight = 1200;
        client.SetCurrentViewingPeerID(HostId);
    }
    ~ViewerInputTest() override {
        processState().MasterMode = false;
        processState().TransferMode = TTransferMode::Idle;
    }

    // What went to the host, without its name.
    Lines Sent() {
        Lines out;
        for (const std::string& line : client.dataSent) out.push_back(line.substr(line.find(": ") + 2));
        return out;
    }
    void ClearSent() { client.dataSent.clear(); }
    void MouseMove(int x, int y) { input.MouseMove(x, y, scene); }

    testing::RecordingRtc client;
    std::shared_ptr<TPeer> peer;
    bool tabActive = true;
    SceneSize scene{1000, 625};
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::time_point{} + 1h;
    Lines shown;
    PeerMessenger messenger{client};
    ViewerInput input{client, messenger, *this, [this] { return now; }};

private:
    bool TabActive() const override { return tabActive; }
    void ShowDemonstrationMessage() override { shown.push_back("demonstration message"); }
    void InjectLocalEscape() override { shown.push_back("local Escape"); }
};

TEST_F(ViewerInputTest, KeysGoOutOneTokenEachAndHeldKeysAreTracked) {
    input.SendKey(16, false, false);
    input.SendKey(65, false, false);
    input.SendKey(65, false, false);  // auto-repeat: sent again, listed once
    input.SendKey(16, true, false);
    EXPECT_EQ(Sent(), (Lines{"K16", "K65", "K65", "k16"}));
    EXPECT_EQ(input.PressedKeys(), (QList<quint16>{65}));
}

TEST_F(ViewerInputTest, AltF4GoesToTheHostAndIsKeptFromTheLocalWindow) {
    EXPECT_EQ(input.SendKey(18, false, true), 18);
    EXPECT_EQ(input.SendKey(115, false, true), 0);
    EXPECT_EQ(input.SendKey(115, true, true), 0);
    EXPECT_EQ(input.SendKey(115, false, false), 115);  // F4 without Alt stays local too
    EXPECT_EQ(Sent(), (Lines{"K18", "K115", "k115", "K115"}));
}

TEST_F(ViewerInputTest, WindowsKeyClosesTheLocalMenuAndSwallowsItsEscape) {
    input.SendKey(91, false, false);
    input.SendKey(91, true, false);
    EXPECT_EQ(shown, (Lines{"local Escape", "local Escape"}));
    now += 299ms;
    EXPECT_EQ(input.SendKey(27, false, false), 0);  // the injected Escape comes back: dropped
    now += 1ms;
    input.SendKey(27, false, false);  // 300 ms later: a real Escape
    EXPECT_EQ(Sent(), (Lines{"K91", "k91", "K27"}));
}

TEST_F(ViewerInputTest, EscapeWithoutAWindowsKeyIsSent) {
    input.SendKey(27, false, false);
    EXPECT_EQ(Sent(), (Lines{"K27"}));
}

TEST_F(ViewerInputTest, LosingTheFocusReleasesHeldKeysInPressOrder) {
    for (int key : {17, 18, 46}) input.SendKey(key, false, false);
    ClearSent();
    input.ReleasePressedKeys();
    EXPECT_EQ(Sent(), (Lines{"k17", "k18", "k46"}));
    EXPECT_TRUE(input.PressedKeys().isEmpty());
}

TEST_F(ViewerInputTest, TabChangeForgetsHeldKeysSilently) {
    input.SendKey(65, false, false);
    ClearSent();
    input.ClearPressedKeys();
    input.ReleasePressedKeys();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ViewerInputTest, ButtonsMapToTheirTokens) {
    for (MouseButton b : {MouseButton::Left, MouseButton::Right, MouseButton::Middle, MouseButton::Other}) {
        input.MouseDown(b);
        input.MouseUp(b);
    }
    EXPECT_EQ(Sent(), (Lines{"L", "l", "R", "r", "M", "m"}));
}

TEST_F(ViewerInputTest, MovesAreMappedAndNotRepeated) {
    MouseMove(500, 312);
    MouseMove(500, 312);
    MouseMove(501, 312);
    EXPECT_EQ(Sent(), (Lines{"x960y599", "x962y599"}));
}

TEST_F(ViewerInputTest, NoMoveBeforeTheFirstFrame) {
    peer->FFrameWidth = 0;
    MouseMove(10, 10);
    EXPECT_TRUE(Sent().empty());
    peer->FFrameWidth = 1920;
    MouseMove(10, 10);  // not taken as the last position while nothing was sent
    EXPECT_EQ(Sent(), (Lines{"x19y19"}));
}

TEST_F(ViewerInputTest, ControlMenuItemSendsItsNumber) {
    input.SendControlCommand(2);
    EXPECT_EQ(Sent(), (Lines{"CONTROL2"}));
}

TEST_F(ViewerInputTest, WheelOnlyInTheViewerRole) {
    input.Wheel(-120);
    processState().MasterMode = false;
    input.Wheel(120);
    EXPECT_EQ(Sent(), (Lines{"W-120"}));
}

struct GateCase {
    const char* name;
    friend void PrintTo(const GateCase& c, std::ostream* os) { *os << c.name; }
    std::function<void(ViewerInputTest&)> close;
    bool demonstration;
};

// Each closed gate: nothing is sent and the held-key list stays untouched; in
// demonstration mode a button press and a control-menu item show the message
// instead.
class Gate : public ViewerInputTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(Gate, SendsNothing) {
    input.SendKey(65, false, false);
    ClearSent();
    GetParam().close(*this);
    input.SendKey(65, true, false);
    input.SendKey(66, false, false);
    MouseMove(3, 4);
    input.MouseUp(MouseButton::Left);
    input.Wheel(120);
    input.MouseDown(MouseButton::Left);
    input.SendControlCommand(4);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(input.PressedKeys(), (QList<quint16>{65}));
    EXPECT_EQ(shown, GetParam().demonstration ? Lines(2, "demonstration message") : Lines{});
}

INSTANTIATE_TEST_SUITE_P(Cases, Gate, ::testing::Values(
    GateCase{"NoActiveTab", [](ViewerInputTest& t) { t.tabActive = false; }, false},
    GateCase{"NoCurrentPeer", [](ViewerInputTest& t) { t.client.SetCurrentViewingPeerID({}); }, false},
    GateCase{"TransferRunning", [](ViewerInputTest&) { processState().TransferMode = TTransferMode::Sending; }, false},
    GateCase{"PeerLost", [](ViewerInputTest& t) { t.peer->Alive = false; }, false},
    GateCase{"Demonstration", [](ViewerInputTest& t) { t.peer->DemonstrationMode = true; }, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvala
