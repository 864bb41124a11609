// The data-channel dispatcher as a case table over message x role x mode:
// which messages each role accepts, exact and prefix matches, the
// demonstration gate, the transfer states, and what it sends back.
#include "control/DataChannelDispatcher.h"

#include "base/ProcessState.h"
#include "fakes/RecordingInjector.h"
#include "fakes/RecordingRtc.h"

#include <gtest/gtest.h>

#include <ostream>

namespace corvala {
namespace {

using Lines = std::vector<std::string>;

const QString Sender = QStringLiteral("111111111");
const QString Other = QStringLiteral("222222222");

struct Situation {
    bool master = false;
    TTransferMode transfer = TTransferMode::Idle;
    bool allowOnlyViewing = false;
    bool voiceShowing = false;
    bool lockScreen = false;
    bool senderInDemonstration = false;
    QString currentViewing = Sender;
};

// Both roles with nothing special going on.
Situation Host() { return {}; }
Situation Viewer() {
    Situation s;
    s.master = true;
    return s;
}
template <typename F>
Situation With(Situation s, F change) {
    change(s);
    return s;
}

struct DispatchCase {
    const char* name;
    friend void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.name; }
    QByteArray message;
    Situation situation;
    Lines effects;  // hooks called and injected input, then the sender's flag changes
    Lines replies;  // what went back to the sender
};

class DispatcherFixture : private IDispatcherEvents {
protected:
    DispatcherFixture() {
        rtc.Activate({});  // peers exist only in an active component
        sender = rtc.AddPeer(Sender, rtc.FindEndPoint());
        rtc.AddPeer(Other, rtc.FindEndPoint());
        sender->Alive = true;
    }

    void Apply(const Situation& s) {
        situation = s;
        processState().MasterMode = s.master;
        processState().LockScreenMode = s.lockScreen;
        processState().EventsSuspended = false;
        processState().TransferMode = s.transfer;
        sender->DemonstrationMode = s.senderInDemonstration;
        rtc.SetCurrentViewingPeerID(s.currentViewing);
    }

    // The flags the dispatcher may change, as effects.
    void RecordFlagChanges(bool aliveBefore, bool reconnectBefore, bool demoBefore) {
        if (sender->Alive != aliveBefore) effects.push_back(sender->Alive ? "Alive" : "not Alive");
        if (sender->NeedToReconnect != reconnectBefore) effects.push_back("NeedToReconnect");
        if (sender->DemonstrationMode != demoBefore)
            effects.push_back(sender->DemonstrationMode ? "DemonstrationMode on" : "DemonstrationMode off");
    }

    void Dispatch(const QByteArray& message) {
        const bool alive = sender->Alive, reconnect = sender->NeedToReconnect, demo = sender->DemonstrationMode;
        dispatcher.Receive(*sender, message);
        RecordFlagChanges(alive, reconnect, demo);
        for (auto& e : injector.Take()) effects.push_back(e);
        // What went back, the sender's without its name.
        for (const std::string& sent : rtc.TakeData()) {
            const std::string own = Sender.toStdString() + ": ";
            replies.push_back(sent.rfind(own, 0) == 0 ? sent.substr(own.size()) : sent);
        }
    }

    ~DispatcherFixture() {
        processState().MasterMode = false;
        processState().LockScreenMode = false;
        processState().TransferMode = TTransferMode::Idle;
    }

    testing::RecordingRtc rtc;
    std::shared_ptr<TPeer> sender;
    Situation situation;
    Lines effects, replies;
    testing_support::RecordingInjector injector;
    HostInput hostInput{injector, [] { return processState().LockScreenMode.load(); }};
    PeerMessenger messenger{rtc};
    DataChannelDispatcher dispatcher{rtc, messenger, hostInput, *this};

private:
    bool AllowOnlyViewing() const override { return situation.allowOnlyViewing; }
    bool VoiceWindowShowing() const override { return situation.voiceShowing; }
    void UpdateAliveButton() override { effects.push_back("UpdateAliveButton"); }
    void OpenDocsDir(TPeer&) override { effects.push_back("OpenDocsDir"); }
    void ArmNoSpeakDialog(bool demonstration) override {
        effects.push_back("NoSpeakDialog " + std::to_string(demonstration ? 1 : 0));
    }
    void ArmCannotCtrlAltDelDialog() override { effects.push_back("CannotCtrlAltDelDialog"); }
    void CommandNotAvailable(TPeer&, int n) override { effects.push_back("NotAvailable " + std::to_string(n)); }
    void ShowChatLine(TPeer& from, const QString& text) override {
        effects.push_back("Chat " + from.FId.toStdString() + " " + text.toStdString());
    }
    void SetClipboardText(TPeer&, const QString& text) override { effects.push_back("Clipboard " + text.toStdString()); }
    void ArmControlCommand(TPeer&, int n) override {
        effects.push_back("ControlCommand " + std::to_string(n) + " from " + rtc.CurrentViewingPeerID().toStdString());
    }
    bool HandleFileTransfer(TPeer&, const QString& text, const QByteArray& raw) override {
        if (situation.transfer == TTransferMode::Receiving) {
            effects.push_back("Transfer raw " + raw.toStdString());
            return true;
        }
        const bool request = text.startsWith("GETFILE") || text.startsWith("FILE") || text.startsWith("DIRECTORY") ||
                             text.startsWith("SELECTDIR") || text.startsWith("DIRSELECTED");
        if (request || situation.transfer == TTransferMode::Sending) effects.push_back("Transfer " + text.toStdString());
        return request;
    }
    void SetRemoteCursor(Qt::CursorShape shape) override { effects.push_back("Cursor " + std::to_string(int(shape))); }
};

class Dispatcher : public DispatcherFixture, public ::testing::TestWithParam<DispatchCase> {};

TEST_P(Dispatcher, RunsTheEffectOfTheFirstMatchingStep) {
    const DispatchCase& c = GetParam();
    Apply(c.situation);
    Dispatch(c.message);
    EXPECT_EQ(effects, c.effects);
    EXPECT_EQ(replies, c.replies);
}

Situation ViewerOnOtherTab() { return With(Viewer(), [](auto& s) { s.currentViewing = Other; }); }
Situation HostLastCommandedByOther() { return With(Host(), [](auto& s) { s.currentViewing = Other; }); }
Situation DemoHost() { return With(Host(), [](auto& s) { s.allowOnlyViewing = true; }); }
Situation Sending(Situation s) { return With(s, [](auto& x) { x.transfer = TTransferMode::Sending; }); }
Situation Receiving(Situation s) { return With(s, [](auto& x) { x.transfer = TTransferMode::Receiving; }); }

INSTANTIATE_TEST_SUITE_P(Cases, Dispatcher, ::testing::Values(
    // Both roles: session flags.
    DispatchCase{"ReconnectOnHost", "RECONNECT", Host(), {"UpdateAliveButton", "NeedToReconnect"}, {}},
    DispatchCase{"ReconnectOnViewer", "RECONNECT", Viewer(), {"UpdateAliveButton", "NeedToReconnect"}, {}},
    DispatchCase{"ReconnectIsExact", "RECONNECTX", Viewer(), {}, {}},
    DispatchCase{"DisconnectMarksTheSenderLost", "DISCONNECT", Host(), {"not Alive"}, {}},
    DispatchCase{"DisconnectPassesTheDemonstrationGate", "DISCONNECT", DemoHost(), {"not Alive"}, {}},
    DispatchCase{"OpenDocsDir", "OPENDOCSDIR", Viewer(), {"OpenDocsDir"}, {}},
    DispatchCase{"DemonstrationOnOnViewer", "DEMONSTRATION_ON", Viewer(), {"DemonstrationMode on"}, {}},
    DispatchCase{"DemonstrationOffOnViewer", "DEMONSTRATION_OFF",
                 With(Viewer(), [](auto& s) { s.senderInDemonstration = true; }), {"DemonstrationMode off"}, {}},
    // The demonstration flags come before the transfer branch: set while sending...
    DispatchCase{"DemonstrationOnWhileSendingStillSetsTheFlag", "DEMONSTRATION_ON", Sending(Viewer()),
                 {"Transfer DEMONSTRATION_ON", "DemonstrationMode on"}, {}},
    // ...but while receiving no text is recognised at all.
    DispatchCase{"ReceivingTakesRawBytes", "DEMONSTRATION_ON", Receiving(Viewer()),
                 {"Transfer raw DEMONSTRATION_ON"}, {}},
    DispatchCase{"ReceivingOnHostTakesRawBytes", "RECONNECT", Receiving(Host()), {"Transfer raw RECONNECT"}, {}},
    DispatchCase{"SendingConsumesAnyMessage", "K65", Sending(Host()), {"Transfer K65"}, {}},
    // Voice.
    DispatchCase{"SpeakWithVoiceWindowClosed", "SPEAK", Host(), {}, {"NOSPEAK"}},
    DispatchCase{"SpeakWithVoiceWindowOpenDoesNothing", "SPEAK",
                 With(Host(), [](auto& s) { s.voiceShowing = true; }), {}, {}},
    DispatchCase{"SpeakWithVoiceWindowOpenOnDemoHostHitsTheGate", "SPEAK",
                 With(DemoHost(), [](auto& s) { s.voiceShowing = true; }), {}, {"DEMONSTRATION_ON"}},
    DispatchCase{"SpeakOnDemoHostWithWindowClosed", "SPEAK", DemoHost(), {}, {"NOSPEAK"}},
    DispatchCase{"SpeakIgnoredByViewer", "SPEAK", Viewer(), {}, {}},
    DispatchCase{"NoSpeakOnViewer", "NOSPEAK", Viewer(), {"NoSpeakDialog 0"}, {}},
    DispatchCase{"NoSpeakFromDemonstrationPeer", "NOSPEAK",
                 With(Viewer(), [](auto& s) { s.senderInDemonstration = true; }), {"NoSpeakDialog 1"}, {}},
    DispatchCase{"NoSpeakIgnoredByHost", "NOSPEAK", Host(), {}, {}},
    DispatchCase{"LockScreenOffOnViewer", "LOCKSCREEN_OFF", Viewer(), {"CannotCtrlAltDelDialog"}, {}},
    DispatchCase{"NoControlOnViewer", "NOCONTROL4", Viewer(), {"NotAvailable 4"}, {}},
    DispatchCase{"NoControlWithoutNumberIsDiscarded", "NOCONTROLx", Viewer(), {}, {}},
    DispatchCase{"NoControlAloneIsNothing", "NOCONTROL", Viewer(), {}, {}},
    // Zoom chords, both roles; a view-only host refuses them.
    DispatchCase{"ZoomIn", "ZOOMIN", Host(), {"key 91 down", "key 107 down", "key 107 up", "key 91 up"}, {}},
    DispatchCase{"ZoomOut", "ZOOMOUT", Viewer(), {"key 91 down", "key 109 down", "key 109 up", "key 91 up"}, {}},
    DispatchCase{"ZoomRefusedByAViewOnlyHost", "ZOOMIN", DemoHost(), {}, {"DEMONSTRATION_ON"}},
    // Prefix commands need at least one character after the keyword.
    DispatchCase{"ChatPassesAViewOnlyHost", "CHAThello", DemoHost(), {"Chat 111111111 hello"}, {}},
    DispatchCase{"ChatAloneIsNotChat", "CHAT", Viewer(), {}, {}},
    // On a host "CHAT" alone falls through to the input parser, where "C" types the next character.
    DispatchCase{"ChatAloneOnHostFallsThroughToInput", "CHAT", Host(), {"char 72 down", "char 72 up"}, {}},
    DispatchCase{"ChatUtf8", "CHAT\xc3\xa9t\xc3\xa9", Viewer(), {"Chat 111111111 \xc3\xa9t\xc3\xa9"}, {}},
    DispatchCase{"Clipboard", "CLIPBRDsome text", Viewer(), {"Clipboard some text"}, {}},
    DispatchCase{"ClipboardOnHost", "CLIPBRDsome text", Host(), {"Clipboard some text"}, {}},
    DispatchCase{"ClipboardRefusedByAViewOnlyHost", "CLIPBRDsome text", DemoHost(), {}, {"DEMONSTRATION_ON"}},
    DispatchCase{"ClipboardAloneIsNotClipboard", "CLIPBRD", Viewer(), {}, {}},
    DispatchCase{"ControlArmsTheTimerAndPicksTheSender", "CONTROL3", HostLastCommandedByOther(),
                 {"ControlCommand 3 from 111111111"}, {}},
    DispatchCase{"ControlRefusedByAViewOnlyHost", "CONTROL1", DemoHost(), {}, {"DEMONSTRATION_ON"}},
    DispatchCase{"CtrlAltDelRefusedByAViewOnlyHost", "CONTROL7",
                 With(DemoHost(), [](auto& s) { s.lockScreen = true; }), {}, {"DEMONSTRATION_ON"}},
    DispatchCase{"CtrlAltDelOutsideTheLockScreen", "CONTROL7", Host(), {}, {"LOCKSCREEN_OFF"}},
    DispatchCase{"CtrlAltDelOnTheLockScreen", "CONTROL7", With(Host(), [](auto& s) { s.lockScreen = true; }),
                 {"ControlCommand 7 from 111111111"}, {}},
    DispatchCase{"ControlWithoutNumberIsDiscarded", "CONTROLx", Host(), {}, {}},
    DispatchCase{"ControlAloneIsNotControl", "CONTROL", DemoHost(), {}, {"DEMONSTRATION_ON"}},
    DispatchCase{"ControlIgnoredByViewer", "CONTROL3", Viewer(), {}, {}},
    // The gate: every later message refused, one reply each.
    DispatchCase{"GateRejectsInput", "x10y10L", DemoHost(), {}, {"DEMONSTRATION_ON"}},
    DispatchCase{"GateRejectsFileRequests", "GETFILE", DemoHost(), {}, {"DEMONSTRATION_ON"}},
    DispatchCase{"GateRejectsUnknownText", "hello", DemoHost(), {}, {"DEMONSTRATION_ON"}},
    DispatchCase{"GateIsHostOnly", "C2", With(Viewer(), [](auto& s) { s.allowOnlyViewing = true; }),
                 {"Cursor 4"}, {}},
    // File-transfer requests.
    DispatchCase{"FileRequestOnHost", "GETFILEa.txt", Host(), {"Transfer GETFILEa.txt"}, {}},
    // Cursor shapes: viewer, only from the peer of the active tab.
    DispatchCase{"CursorShape", "C2", Viewer(), {"Cursor 4"}, {}},
    DispatchCase{"CursorShapeFromAnotherTab", "C2", ViewerOnOtherTab(), {}, {}},
    DispatchCase{"CursorCodeAboveFourteen", "C15", Viewer(), {}, {}},
    DispatchCase{"CursorWithLetters", "Cxyz", Viewer(), {}, {}},
    DispatchCase{"InputIgnoredByViewer", "K65", Viewer(), {}, {}},
    // Host input.
    DispatchCase{"InputOnHost", "K65k65", Host(), {"key 65 down", "key 65 up"}, {}},
    DispatchCase{"BadNumberKeepsEarlierEvents", "LW-", Host(), {"mouse 0x0002 0,0 0"}, {}},
    DispatchCase{"UnknownTextIgnored", "abe fghi, jot pqs?", Host(), {}, {}},
    DispatchCase{"CommandWordsAreCaseSensitive", "reconnect", Viewer(), {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DispatcherSuspended, MessageArrivingWhileEventsAreSuspendedIsLost) {
    struct F : DispatcherFixture {
        void Run() {
            Apply(Host());
            processState().EventsSuspended = true;
            Dispatch("K65");
            Dispatch("RECONNECT");
            processState().EventsSuspended = false;
            EXPECT_TRUE(effects.empty());
            Dispatch("K66");
            EXPECT_EQ(effects, (Lines{"key 66 down"}));  // not queued: only the new one
        }
    } f;
    f.Run();
}

TEST(DispatcherGate, DemonstrationHostAnswersEveryInputMessageOnItsOwn) {
    struct F : DispatcherFixture {
        void Run() {
            Apply(DemoHost());
            for (const char* m : {"L", "l", "x1y1", "K65"}) Dispatch(m);
            EXPECT_EQ(replies, Lines(4, "DEMONSTRATION_ON"));
            EXPECT_TRUE(effects.empty());
        }
    } f;
    f.Run();
}

}  // namespace
}  // namespace corvala
