// The application core without windows and without the media engine: a
// recording engine port, a view that writes down what it is told, a
// recording input injector, and the real signalling server over TLS with
// the other side played by a line client. Whole host and viewer sessions run
// through the core's own wiring, from the signalling line to the injector
// and the view.

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <unistd.h>
#include <memory>

#include "ServerProcess.h"
#include "TlsLineClient.h"
#include "base/ProcessState.h"
#include "core/AppCore.h"
#include "core/AppView.h"
#include "fakes/DesktopFakes.h"
#include "fakes/PlatformFakes.h"
#include "fakes/RecordingInjector.h"
#include "platform/CursorNames.h"
#include "fakes/RecordingRtc.h"
#include "session/ConnectionEntries.h"
#include "signalling/SignallingConnection.h"
#include "signalling/SignallingMessage.h"
#include "signalling/WirePayloads.h"

namespace corvala {
namespace {

using namespace std::chrono_literals;
using testing::PkiFile;
using testing::ServerProcess;
using testing::TlsLineClient;

const QString OtherId = QStringLiteral("222333444");

// One QGuiApplication for the whole program: the core reads the screens
// through it, and no widget exists.
class GuiApplication : public ::testing::Environment {
public:
    void SetUp() override { FApp = std::make_unique<QGuiApplication>(FArgc, FArgv); }
    void TearDown() override { FApp.reset(); }

private:
    int FArgc = 1;
    char FName[8] = "corvala";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QGuiApplication> FApp;
};
const auto* const kGuiApplication = ::testing::AddGlobalTestEnvironment(new GuiApplication);

// Writes down every call, one line each.
class RecordingView : public IAppView {
public:
    QStringList calls;
    QStringList messages;  // "Kind: text"
    bool showing = false;
    bool confirmAnswer = true;
    std::optional<ConnectionDialogResult> dialogAnswer;

    bool Called(const QString& what) const { return calls.contains(what); }

    bool AskWelcome() override {
        calls << "AskWelcome";
        return true;
    }
    void TranslateWindow() override { calls << "TranslateWindow"; }
    void ShowIdentity(const QString& id, const QString& figure) override { calls << "ShowIdentity " + id + " " + figure; }
    void ApplyBranding(const Branding& b) override { calls << "ApplyBranding " + b.Contact; }
    void ShowHostLayout() override { calls << "ShowHostLayout"; }
    bool ShowAppMessage(bool modal, MessageKind kind, const QString& text) override {
        static const char* const kinds[] = {"Warning", "Error", "Confirm", "Information"};
        messages << QString("%1%2: %3").arg(kinds[int(kind)], modal ? "" : " (non-modal)", text);
        return modal && kind == MessageKind::Confirm && confirmAnswer;
    }
    bool WindowShowing() const override { return showing; }
    void ShowWindow() override {
        calls << "ShowWindow";
        showing = true;
    }
    void HideWindow() override {
        calls << "HideWindow";
        showing = false;
    }
    void UpdateWindowCaption() override { calls << "UpdateWindowCaption"; }
    void EnableConnectButton() override { calls << "EnableConnectButton"; }
    // The own relay's setup runs apart from the rest: it starts at every join.
    QList<bool> relaySetup;
    void ShowRelaySetupRunning(bool running) override { relaySetup << running; }
    void SwitchToViewerLayout() override { calls << "SwitchToViewerLayout"; }
    void CollapseForSession() override { calls << "CollapseForSession"; }
    void ExpandAfterSessions() override { calls << "ExpandAfterSessions"; }
    std::optional<ConnectionDialogResult> ShowConnectionDialog(const std::optional<ConnectRequest>&) override {
        calls << "ShowConnectionDialog";
        // What the confirmed dialog does to the history.
        if (dialogAnswer && history) {
            TRecentConnections recent = TRecentConnections::FromCommaText(*history);
            recent.PutOnTop(dialogAnswer->idText, ExtractId(dialogAnswer->idText));
            *history = recent.ToCommaText();
        }
        return dialogAnswer;
    }
    QString* history = nullptr;  // the settings' RecentConnections
    void AddTab(const QString& caption, const QString&) override { calls << "AddTab " + caption; }
    bool SelectTab(const QString& id) override {
        calls << "SelectTab " + id;
        return true;
    }
    void HideToolbar() override { calls << "HideToolbar"; }
    void ShowMonitorItems(const std::array<MonitorMenuItem, MonitorMenuItems>& items) override {
        int visible = 0;
        for (const MonitorMenuItem& item : items) visible += item.Visible;
        calls << QString("ShowMonitorItems %1").arg(visible);
    }
    void DrawRemoteFrame() override { calls << "DrawRemoteFrame"; }
    void ShowAliveStatus(const AliveButtonView& status) override {
        calls << "ShowAliveStatus " + status.labelText.value_or(QString());
    }
    void SetRemoteCursor(Qt::CursorShape shape) override { calls << QString("SetRemoteCursor %1").arg(int(shape)); }
    unsigned long ShowDesktopCopyWindow(int width, int height) override {
        calls << QString("ShowDesktopCopyWindow %1x%2").arg(width).arg(height);
        return 4242;
    }
    void CloseDesktopCopyWindow() override { calls << "CloseDesktopCopyWindow"; }
    std::optional<QStringList> filesAnswer;  // the file chooser's
    std::optional<QStringList> ChooseFilesAndFolders() override {
        calls << "ChooseFilesAndFolders";
        return filesAnswer;
    }
    std::optional<QString> ChooseDestinationFolder(const QString& current) override {
        calls << "ChooseDestinationFolder " + current;
        return std::nullopt;
    }
    void SetBusyCursor(bool busy) override { calls << QString("SetBusyCursor %1").arg(busy); }
    void ShowTransferWindow(bool modal) override { calls << QString("ShowTransferWindow %1").arg(modal); }
    bool TransferWindowShowing() const override { return false; }
    void ShowTransferState(const transfer::TransferWindowState& state) override {
        calls << "ShowTransferState " + state.Status;
    }
    void CloseTransferWindow() override { calls << "CloseTransferWindow"; }
    bool ChatWindowShowing() const override { return chatShowing; }
    void ShowChatWindow(bool clear) override {
        calls << QString("ShowChatWindow %1").arg(clear);
        chatShowing = true;
    }
    void CloseChatWindow() override {
        calls << "CloseChatWindow";
        chatShowing = false;
    }
    void AppendChatLine(const ChatLine& line) override { calls << "AppendChatLine " + line.Header + line.Text; }
    void ShowChatRecipients(const ChatRecipients& r) override {
        calls << "ShowChatRecipients " + r.Entries.join('|') + QString(" %1").arg(r.Selected);
    }
    QString ChatRecipient() const override { return {}; }
    bool VoiceWindowShowing() const override { return voiceShowing; }
    void ShowVoiceWindow(const QString& caption) override {
        calls << "ShowVoiceWindow " + caption;
        voiceShowing = true;
    }
    void CloseVoiceWindow() override {
        if (voiceShowing) calls << "CloseVoiceWindow";
        voiceShowing = false;
    }
    void ShowUpdateTool(const QString& hint) override { calls << "ShowUpdateTool " + hint; }
    void ShowUpdateNotice(const QString& heading, bool offer) override {
        calls << QString("ShowUpdateNotice %1 ").arg(offer) + heading;
    }
    void SetUpdateButton(const char* key) override { calls << QString("SetUpdateButton ") + key; }
    void SetUpdateProgress(int percent) override { calls << QString("SetUpdateProgress %1").arg(percent); }
    void CloseMainWindow() override { calls << "CloseMainWindow"; }
    void ShowPrinterDownload(const QString& caption, const QString&) override {
        calls << "ShowPrinterDownload " + caption;
    }
    void SetPrinterProgress(int percent) override { calls << QString("SetPrinterProgress %1").arg(percent); }
    void ClosePrinterDownload() override { calls << "ClosePrinterDownload"; }
    bool chatShowing = false;
    bool voiceShowing = false;

    // The credential dialogs answer what the test set; the windows of the
    // connection history write down what they would show.
    std::optional<HostPasswordAnswer> passwordAnswer;
    std::optional<HostPasswordFill> passwordFill;  // what the last dialog opened with
    std::optional<WhiteListAnswer> whiteListAnswer;
    std::optional<QString> displayNameAnswer;
    std::optional<HostPasswordAnswer> AskHostPassword(const HostPasswordFill& fill) override {
        calls << "AskHostPassword";
        passwordFill = fill;
        return passwordAnswer;
    }
    std::optional<WhiteListAnswer> AskWhiteList(const WhiteListAnswer& current) override {
        calls << QString("AskWhiteList %1 ").arg(current.Enabled) + current.List.join('|');
        return whiteListAnswer;
    }
    std::optional<QString> AskDisplayName(const QString& current) override {
        calls << "AskDisplayName " + current;
        return displayNameAnswer;
    }
    void ShowConnectionLog(const QStringList& lines, bool peersConnected) override {
        calls << QString("ShowConnectionLog %1 ").arg(peersConnected) + lines.join('|');
    }
    void ShowConnections(const QStringList& lines) override { calls << "ShowConnections " + lines.join('|'); }
};

// A pointer whose shape cannot be read: the host reports no cursor shapes.
class FakeCursorNames : public platform::ICursorNames {
public:
    std::optional<std::string> CurrentCursorName() override { return std::nullopt; }
};

class FakeSessionMonitor : public platform::ISessionMonitor {
public:
    std::function<void(platform::SessionChange)> handler;
    bool Start(std::function<void(platform::SessionChange)> h) override {
        handler = std::move(h);
        return true;
    }
    bool AnySessionActive() override { return true; }
};

// The own relay's surroundings: a router forwarding 5555, a web service
// that sees 203.0.113.7 in "DE", and a relay already running (pid 77) whose
// load cannot be read.
class ForwardingTo5555 : public IPortForwarding {
public:
    bool EnsurePortMapping(int& relayPort) override {
        relayPort = 5555;
        return true;
    }
};
class KnownAddressWeb : public IRelayWebQueries {
public:
    void PublicAddress(std::function<void(QString)> done) override { done(u"203.0.113.7"_qs); }
    void Country(const QString&, std::function<void(QString)> done) override { done(u"DE"_qs); }
    void ProbeRelay(const QString&, int) override { ++probes; }
    int probes = 0;
};
class RelayAlreadyRunning : public IRelayProcesses {
public:
    std::optional<pid_t> Find(RelayNameMatch match) override {
        if (match == RelayNameMatch::Prefix && running) return 77;
        return std::nullopt;
    }
    std::unique_ptr<IRelayProcess> Start(const QString&, const QStringList&, std::function<void(QByteArrayView)>,
                                         std::function<void()>) override {
        ++starts;
        return nullptr;
    }
    void End(pid_t pid) override {
        ended << pid;
        running = false;
    }
    bool running = true;
    int starts = 0;
    QList<pid_t> ended;
};

// The signalling line of a peer message, as another copy writes it.
std::string PeerLine(const QString& from, const QString& to, const QString& type, const QString& payload,
                     const QString& password, const QString& username) {
    return GetMessage(from, u"message"_qs, to, type, payload, password, username, u"42"_qs).toStdString();
}

class AppCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ProcessState& state = processState();
        state.EventsSuspended = false;
        state.MasterMode = false;
        state.LockScreenMode = false;
        state.ShownForSession = false;
        state.TransferMode = TTransferMode::Idle;
        ASSERT_TRUE(folder.isValid());
        std::filesystem::copy_file(PkiFile("ca.pem"), Program("cr2.dt"));
        qputenv("CORVALA_ICE_SERVERS", "");
        qputenv("CORVALA_SIGNALLING", "127.0.0.1:9");  // nothing listens unless a test starts crsignal
    }
    void TearDown() override {
        if (core && !core->Closing()) core->CloseSequence();
        core.reset();
        processState().EventsSuspended = false;
        processState().MasterMode = false;
        processState().LockScreenMode = false;
    }

    std::filesystem::path Program(const char* name) const {
        return std::filesystem::path(folder.path().toStdString()) / name;
    }

    void StartSignalling() {
        server = std::make_unique<ServerProcess>(
            "crsignal", std::vector<std::string>{"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile("server.pem"),
                                                 "--key", PkiFile("server.key")});
        ASSERT_NE(server->port(), 0) << "crsignal did not start";
        qputenv("CORVALA_SIGNALLING", QByteArray("127.0.0.1:") + QByteArray::number(server->port()));
    }

    // Makes the core with its platform and runs its creation steps.
    bool CreateCore() {
        CorePlatform platform{shell, injector, cursorNames};
        platform.SessionMonitor = &sessions;
        platform.System = &system;
        platform.Clipboard = &clipboard;
        platform.Screenshots = &capture;
        platform.PortForwarding = relayForwarding;
        platform.RelayWeb = relayWeb;
        platform.RelayProcesses = relayProcesses;
        platform.LoadEngine = [this](const QString&) {
            auto port = std::make_unique<testing::RecordingRtc>();
            rtc = port.get();
            return port;
        };
        CoreEnvironment environment;
        environment.Folders = {folder.path().toStdString(), (folder.path() + "/received").toStdString()};
        environment.MacAddressText = "00-11-22-33-44-55";
        environment.MachineFingerprint = "9PKN9B722B49";
        environment.SupportContact = "help@example.test";
        environment.CredentialsFile = credentialsFile;
        // Nothing listens there: the update check at creation finds no answer
        // and sends nothing beyond this computer.
        environment.WebSiteAddress = "http://127.0.0.1:9";
        core = std::make_unique<TAppCore>(environment, platform);
        return core->Create(view);
    }

    QString OwnId() const { return core->AppSettings().DeviceId; }

    bool WaitJoined() { return QTest::qWaitFor([&] { return core->ConnectedToSignalServer(); }, 20000); }

    std::unique_ptr<TlsLineClient> JoinAs(const QString& id) {
        auto client = std::make_unique<TlsLineClient>();
        EXPECT_TRUE(client->connect(server->port(), PkiFile("ca.pem")));
        EXPECT_TRUE(client->writeLine(GetMessage(id, u"join"_qs, {}, {}, id).toStdString()));
        EXPECT_TRUE(Expect(*client, "joined", {}));
        return client;
    }

    // The next envelope of that kind (and peer-message type) the client
    // receives; the core runs meanwhile.
    std::optional<Envelope> Expect(TlsLineClient& client, const QString& msg, const QString& type) {
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const std::optional<std::string> line = client.readLine(20ms);
            if (!line) continue;
            const auto object = ParseSignallingLine(QByteArray::fromStdString(*line));
            if (!object) continue;
            const Envelope e = Envelope::FromObject(*object);
            if (e.msg == msg && (type.isEmpty() || e.type == type)) return e;
        }
        ADD_FAILURE() << "no " << msg.toStdString() << " " << type.toStdString() << " arrived";
        return std::nullopt;
    }

    // A peer connected to the core's component without signalling.
    std::shared_ptr<TPeer> ConnectPeer(const QString& id) {
        if (!rtc->Active()) rtc->Activate({});
        auto peer = rtc->AddPeer(id, rtc->FindEndPoint());
        peer->Alive = true;
        return peer;
    }

    QTemporaryDir folder;
    QString credentialsFile;
    fakes::FakeShell shell;
    testing_support::RecordingInjector injector;
    FakeCursorNames cursorNames;
    FakeSessionMonitor sessions;
    fakes::FakeSystemControl system;
    fakes::FakeClipboard clipboard;
    fakes::FakeDesktopCapture capture;
    RecordingView view;
    testing::RecordingRtc* rtc = nullptr;  // the core owns it
    std::unique_ptr<ServerProcess> server;
    // The own relay's surroundings; none: the core's own.
    IPortForwarding* relayForwarding = nullptr;
    IRelayWebQueries* relayWeb = nullptr;
    IRelayProcesses* relayProcesses = nullptr;
    std::unique_ptr<TAppCore> core;
};

TEST_F(AppCoreTest, CreationRunsTheStepsInOrderAndStartsTheTimers) {
    ASSERT_TRUE(CreateCore());
    const QString id = OwnId();
    EXPECT_EQ(id.size(), 9);
    const QString password = core->AppSettings().HostPassword;
    EXPECT_EQ(password.size(), 6);
    EXPECT_EQ(view.calls, QStringList({"AskWelcome", "TranslateWindow", "ShowIdentity " + id + " " + password,
                                       "ShowHostLayout"}));
    EXPECT_TRUE(rtc->IceServers().isEmpty()) << "CORVALA_ICE_SERVERS empty replaces the public servers";
    EXPECT_FALSE(rtc->Active());
    EXPECT_EQ(rtc->Client().VideoConstraints.MaxFramerate, 10);

    struct Case {
        QTimer* timer;
        const char* name;
        int interval;
        bool running;
    };
    const CoreTimers& t = core->Timers();
    const Case cases[] = {
        {t.TimerDataTimeout, "TimerDataTimeout", 1000, true},
        {t.TimerMouseCursorCheck, "TimerMouseCursorCheck", 100, true},
        {t.TimerCopyImagehider, "TimerCopyImagehider", 300, false},
        {t.TimerControlCommand, "TimerControlCommand", 100, false},
        {t.TimerShowNoSpeakDialog, "TimerShowNoSpeakDialog", 1000, false},
        {t.TimerShowCannotProcessCtrlAltDelDialog, "TimerShowCannotProcessCtrlAltDelDialog", 1000, false},
        {t.TimerMagnifierMinimizer, "TimerMagnifierMinimizer", 1000, false},
        {t.TimerSelectDirectory, "TimerSelectDirectory", 1000, false},
        {t.TimerSelectDirsAndFiles, "TimerSelectDirsAndFiles", 1000, false},
        {t.TimerTransferFormShow, "TimerTransferFormShow", 1000, false},
        {t.TimerStartFileTransfer, "TimerStartFileTransfer", 500, false},
        {t.TurnChecker, "TurnChecker", 100, false},
        {t.TimerTurnServerCPUUsageControl, "TimerTurnServerCPUUsageControl", 30000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.timer->objectName(), c.name);
        EXPECT_EQ(c.timer->interval(), c.interval);
        EXPECT_EQ(c.timer->isActive(), c.running);
    }
    ASSERT_NE(core->Signalling(), nullptr);
    EXPECT_EQ(core->Signalling()->ServerConnectionChecker().interval(), 15000);
}

TEST_F(AppCoreTest, HostAdmitsAViewerInjectsItsClickAndEndsTheSessionWhenItLeaves) {
    StartSignalling();
    ASSERT_TRUE(CreateCore());
    ASSERT_TRUE(WaitJoined());
    EXPECT_TRUE(view.Called("EnableConnectButton"));
    const QString host = OwnId();
    const QString password = core->AppSettings().HostPassword;
    auto viewer = JoinAs(OtherId);

    viewer->writeLine(PeerLine(OtherId, host, u"init"_qs, {}, u"wrong!"_qs, u"Viewer"_qs));
    const auto refused = Expect(*viewer, u"message"_qs, u"error"_qs);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->payload.contains("invalid_password")) << refused->payload.toStdString();

    viewer->writeLine(PeerLine(OtherId, host, u"init"_qs, {}, password, u"Viewer"_qs));
    const auto turn = Expect(*viewer, u"message"_qs, u"turn"_qs);
    ASSERT_TRUE(turn);
    EXPECT_TRUE(ParsePayloadObject(turn->payload)) << "the host's session information";
    EXPECT_EQ(rtc->PeerCount(), 0) << "no peer before the viewer's own turn";

    const QString viewerInfo =
        SessionInfoPayload::Make(IceServer{}, {{0, 0, 800, 600}}, 0, false, u"AA-BB"_qs).toJson();
    viewer->writeLine(PeerLine(OtherId, host, u"turn"_qs, viewerInfo, password, u"Viewer"_qs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rtc->offers.contains(OtherId); }, 10000));
    ASSERT_EQ(rtc->activations.size(), 1u);
    EXPECT_EQ(rtc->activations[0].CameraId, ScreenSourceId);
    EXPECT_TRUE(rtc->activations[0].VideoCallEnabled);
    EXPECT_TRUE(view.Called("ShowWindow")) << "a hidden host shows itself for the session";
    EXPECT_TRUE(view.Called("CollapseForSession"));
    ASSERT_FALSE(core->Log().Lines().isEmpty());
    EXPECT_TRUE(core->Log().Lines().first().endsWith("Incoming connection from Viewer (222333444)"));

    // A click on the data channel reaches the desktop through the injector.
    const auto peer = rtc->FindPeer(OtherId);
    ASSERT_TRUE(peer);
    rtc->Events().rtcClientReceiveData(*peer, "x960y540L");
    EXPECT_EQ(injector.Take(), (std::vector<std::string>{"mouse 0x8001 32768,32768 0", "mouse 0x0002 0,0 0"}));

    // The viewer leaves; the next liveness tick ends its session.
    view.calls.clear();
    rtc->Events().rtcClientReceiveData(*peer, "DISCONNECT");
    ASSERT_TRUE(QTest::qWaitFor([&] { return rtc->PeerCount() == 0; }, 5000));
    EXPECT_TRUE(view.Called("UpdateWindowCaption"));
    EXPECT_TRUE(view.Called("ExpandAfterSessions"));
    EXPECT_TRUE(view.Called("HideWindow")) << "the window shown for the session hides again";
    EXPECT_FALSE(rtc->Active());
    EXPECT_EQ(injector.Take(), (std::vector<std::string>{"mouse 0x0004 0,0 0"}))
        << "the button the viewer held is released";
}

TEST_F(AppCoreTest, ViewerConnectsDrawsTheHostSendsInputAndClosesTheTab) {
    StartSignalling();
    ASSERT_TRUE(CreateCore());
    ASSERT_TRUE(WaitJoined());
    auto host = JoinAs(OtherId);
    const QString own = OwnId();

    view.dialogAnswer = ConnectionDialogResult{OtherId, u"host-pw"_qs};
    view.history = &core->AppSettings().RecentConnections;
    core->ConnectAction(true);
    EXPECT_TRUE(processState().MasterMode);
    EXPECT_TRUE(view.Called("SwitchToViewerLayout"));
    EXPECT_TRUE(view.Called("ShowConnectionDialog"));
    const auto init = Expect(*host, u"message"_qs, u"init"_qs);
    ASSERT_TRUE(init);
    EXPECT_EQ(init->from, own);
    EXPECT_EQ(init->password, "host-pw");

    const QString hostInfo =
        SessionInfoPayload::Make(IceServer{}, {{0, 0, 1280, 800}}, 0, false, u"AA-BB"_qs).toJson();
    host->writeLine(PeerLine(OtherId, own, u"turn"_qs, hostInfo, {}, u"Office"_qs));
    const auto turn = Expect(*host, u"message"_qs, u"turn"_qs);
    ASSERT_TRUE(turn);
    EXPECT_EQ(turn->password, "host-pw");
    EXPECT_TRUE(view.Called("AddTab Office (222333444)"));
    EXPECT_EQ(rtc->CurrentViewingPeerID(), OtherId);

    host->writeLine(PeerLine(OtherId, own, u"offer"_qs, SdpObject{u"offer"_qs, u"v=0\r\n"_qs}.toJson(), {}, u"Office"_qs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rtc->answersMade.empty(); }, 10000));
    EXPECT_EQ(rtc->answersMade[0].peer, OtherId);

    rtc->Events().rtcClientRenderFrame(OtherId);
    EXPECT_TRUE(view.Called("DrawRemoteFrame"));
    core->Viewer().MouseDown(MouseButton::Left);
    core->Viewer().MouseUp(MouseButton::Left);
    EXPECT_EQ(rtc->TakeData(), (std::vector<std::string>{"222333444: L", "222333444: l"}));

    view.calls.clear();
    ASSERT_TRUE(core->Tabs().CloseActiveTab());
    EXPECT_EQ(rtc->TakeData(), (std::vector<std::string>{"222333444: DISCONNECT"}));
    EXPECT_EQ(rtc->PeerCount(), 0);
    EXPECT_TRUE(view.Called("HideToolbar"));
    EXPECT_TRUE(view.Called("ShowAliveStatus No connections."));
}

// Without a web service the joined host picks its relay's port and
// credentials, keeps them, and offers no relay of its own.
TEST_F(AppCoreTest, EveryJoinRunsTheRelaySetup) {
    StartSignalling();
    ASSERT_TRUE(CreateCore());
    ASSERT_TRUE(WaitJoined());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.relaySetup.size() == 2; }, 10000));
    EXPECT_EQ(view.relaySetup, QList<bool>({true, false}));
    const Settings& settings = core->AppSettings();
    EXPECT_GE(settings.RelayPort, 5500);
    EXPECT_LE(settings.RelayPort, 5999);
    EXPECT_EQ(settings.RelayUserName.size(), 6);
    EXPECT_EQ(settings.RelayPassword.size(), 6);
    EXPECT_FALSE(core->Relay().RelayRunning());
    EXPECT_TRUE(core->Session().OwnSessionInfo().ice.url.isEmpty());
    EXPECT_FALSE(core->Timers().TimerTurnServerCPUUsageControl->isActive());
}

// "invalid_id" at a host only means that a viewer it answered has gone: a
// stranger's one line must not put a box in front of the unattended host,
// and the next viewer is admitted at once. A viewer hears it about the host
// it asked for, without a modal box in the way of its link.
// A relay that runs already: announced through the core's own link, added to
// its ICE servers once, offered in the host's "turn", ended at close.
TEST_F(AppCoreTest, TheOwnRunningRelayIsAnnouncedOfferedAndEndedAtClose) {
    ForwardingTo5555 forwarding;
    KnownAddressWeb web;
    RelayAlreadyRunning processes;
    relayForwarding = &forwarding;
    relayWeb = &web;
    relayProcesses = &processes;
    StartSignalling();
    ASSERT_TRUE(CreateCore());
    ASSERT_TRUE(WaitJoined());
    ASSERT_TRUE(QTest::qWaitFor([&] { return core->Relay().RelayRunning(); }, 10000));
    EXPECT_EQ(processes.starts, 0);
    EXPECT_EQ(web.probes, 0);
    const Settings& settings = core->AppSettings();
    const QString url = u"turn:203.0.113.7:5555"_qs;
    const auto listed = [&] {
        return std::count_if(rtc->IceServers().begin(), rtc->IceServers().end(),
                             [&](const TIceServer& s) { return s.Url == url; });
    };
    EXPECT_EQ(listed(), 1);
    EXPECT_EQ(core->Relay().CountryCode(), "DE");

    // crsignal heard the announcement: a viewer in "DE" gets the relay.
    auto viewer = JoinAs(OtherId);
    ASSERT_TRUE(viewer->writeLine(GetMessage(OtherId, u"getpublicturn"_qs, {}, {}, u"DE"_qs).toStdString()));
    const auto relay = Expect(*viewer, u"publicturn"_qs, {});
    ASSERT_TRUE(relay);
    const auto offered = IceServer::FromJson(relay->payload);
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->url, url);
    EXPECT_EQ(offered->username, settings.RelayUserName);

    // The host's "turn" offers its own relay.
    viewer->writeLine(PeerLine(OtherId, OwnId(), u"init"_qs, {}, settings.HostPassword, u"Viewer"_qs));
    const auto turn = Expect(*viewer, u"message"_qs, u"turn"_qs);
    ASSERT_TRUE(turn);
    const auto info = ParsePayloadObject(turn->payload);
    ASSERT_TRUE(info);
    EXPECT_EQ(IceServer::FromObject(*info).url, url);

    // A second join reuses it without adding it again.
    core->Timers().TurnChecker->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.relaySetup.size() == 4; }, 10000));
    EXPECT_EQ(listed(), 1);

    core->CloseSequence();
    EXPECT_EQ(processes.ended, QList<pid_t>{77});
    EXPECT_FALSE(core->Relay().RelayRunning());
}

TEST_F(AppCoreTest, InvalidIdIsLoggedOnAHostAndShownWithoutBlockingOnAViewer) {
    StartSignalling();
    ASSERT_TRUE(CreateCore());
    ASSERT_TRUE(WaitJoined());
    const QString host = OwnId();
    {
        auto stranger = JoinAs(u"999888777"_qs);
        stranger->writeLine(PeerLine(u"999888777"_qs, host, u"init"_qs, {}, u"guess"_qs, u"Stranger"_qs));
    }  // gone before the host's answer arrives
    auto viewer = JoinAs(OtherId);
    viewer->writeLine(PeerLine(OtherId, host, u"init"_qs, {}, core->AppSettings().HostPassword, u"Viewer"_qs));
    ASSERT_TRUE(Expect(*viewer, u"message"_qs, u"turn"_qs));
    QTest::qWait(200);
    EXPECT_TRUE(view.messages.isEmpty()) << view.messages.join('\n').toStdString();

    // The same copy now connects out to an ID nobody joined under.
    view.dialogAnswer = ConnectionDialogResult{u"555444333"_qs, u"pw"_qs};
    view.history = &core->AppSettings().RecentConnections;
    core->ConnectAction(true);
    const QString warning =
        u"Warning (non-modal): Device with this ID is not connected or you entered a wrong ID."_qs;
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.messages.contains(warning); }, 10000))
        << view.messages.join('\n').toStdString();
}

// A review goes only when it is rated, fits the wire and the link is up;
// otherwise the user is told why and nothing is sent.
TEST_F(AppCoreTest, ReviewsThatCannotGoAreRefusedWithTheReason) {
    ASSERT_TRUE(CreateCore());  // no server: the link stays down
    TReview unrated;
    TReview tooLong;
    tooLong.Ratings = {5, 5, 5, 5};
    tooLong.Text = QString(20000, u'x');
    TReview fine;
    fine.Ratings = {1, 2, 3, 4};
    fine.Text = "ok";
    struct Case {
        const char* name;
        const TReview& review;
        QString message;
    } cases[] = {
        {"unrated", unrated, "Warning: Please rate every point."},
        {"too long", tooLong, "Warning: The text is too long by " +
                                  QString::number(tooLong.Excess(OwnId(), true)) + " characters."},
        {"link down", fine, "Error: Unable to connect to server. Please try again in a minute."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.messages.clear();
        EXPECT_FALSE(core->SendReview(c.review));
        EXPECT_EQ(view.messages, QStringList{c.message});
    }
}

// Chat, clipboard and host commands from a viewer reach their modules
// through the core: the chat window, this clipboard, the session manager a
// timer tick later, and the viewer's answer when the desktop cannot.
TEST_F(AppCoreTest, CompanionMessagesReachTheirFeatures) {
    ASSERT_TRUE(CreateCore());
    const auto peer = ConnectPeer(OtherId);
    peer->UserName = "Ulla";
    view.calls.clear();
    rtc->Events().rtcClientReceiveData(*peer, "CHAThello");
    EXPECT_EQ(view.calls, QStringList({"AppendChatLine Ulla (" + OtherId + "): hello", "ShowChatWindow 0",
                                       "ShowChatRecipients Everybody|Ulla (" + OtherId + ") 0"}));
    rtc->Events().rtcClientReceiveData(*peer, "CLIPBRDfrom the viewer");
    EXPECT_EQ(clipboard.setTexts, std::vector<QString>{"from the viewer"});

    rtc->Events().rtcClientReceiveData(*peer, "CONTROL5");
    EXPECT_TRUE(system.requests.empty()) << "not inside the data channel's hand-over";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !system.requests.empty(); }, 2000));
    EXPECT_EQ(system.requests, std::vector{platform::SessionAction::Reboot});

    rtc->TakeData();
    system.accept = false;
    rtc->Events().rtcClientReceiveData(*peer, "CONTROL4");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rtc->dataSent.empty(); }, 2000));
    EXPECT_EQ(rtc->TakeData(), std::vector<std::string>{OtherId.toStdString() + ": NOCONTROL4"});
}

// "Make Screenshot": the host writes the picture, puts it on its clipboard
// and offers the file; the viewer, which asked for it, then picks where it
// goes. A "SELECTDIR" nobody asked for stays refused.
TEST_F(AppCoreTest, TheScreenshotTravelsAsAnOfferedFile) {
    capture.picture = {2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}};
    ASSERT_TRUE(CreateCore());
    const auto viewer = ConnectPeer(OtherId);
    rtc->SetCurrentViewingPeerID(OtherId);
    rtc->TakeData();
    rtc->Events().rtcClientReceiveData(*viewer, "CONTROL3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rtc->dataSent.empty(); }, 2000));
    EXPECT_EQ(rtc->TakeData(), std::vector<std::string>{OtherId.toStdString() + ": SELECTDIR"});
    EXPECT_EQ(clipboard.images, 1);
    EXPECT_GT(QFileInfo(folder.path() + "/received/screenshot.jpg").size(), 0);
    EXPECT_EQ(core->Transfer().SelectedFilesAndDirs, QStringList{folder.path() + "/received/screenshot.jpg"});
    core->CloseSequence();
    core.reset();
    processState().EventsSuspended = false;

    // The viewer's side.
    ASSERT_TRUE(CreateCore());
    processState().MasterMode = true;
    const auto host = ConnectPeer(OtherId);
    rtc->SetCurrentViewingPeerID(OtherId);
    rtc->TakeData();
    view.calls.clear();
    rtc->Events().rtcClientReceiveData(*host, "SELECTDIR");
    QTest::qWait(100);
    EXPECT_FALSE(view.Called("ChooseDestinationFolder ")) << "an offer nobody asked for";
    core->SendControlCommand(3);
    EXPECT_EQ(rtc->TakeData(), std::vector<std::string>{OtherId.toStdString() + ": CONTROL3"});
    rtc->Events().rtcClientReceiveData(*host, "SELECTDIR");
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.Called("ChooseDestinationFolder "); }, 2000))
        << view.calls.join(", ").toStdString();
}

// A box a peer's message causes waits for the user only after the engine's
// thread got its message handled, as for a signalling line.
TEST_F(AppCoreTest, BoxesAPeersMessageCausesWaitUntilTheHandOverEnded) {
    ASSERT_TRUE(CreateCore());
    processState().MasterMode = true;
    const auto host = ConnectPeer(OtherId);
    view.messages.clear();
    rtc->Events().rtcClientReceiveData(*host, "NOCONTROL4");
    EXPECT_TRUE(view.messages.isEmpty()) << "shown inside the hand-over";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view.messages.isEmpty(); }, 2000));
    EXPECT_EQ(view.messages.size(), 1);
}

TEST_F(AppCoreTest, AllowOnlyViewingTellsEveryViewerBothWays) {
    ASSERT_TRUE(CreateCore());
    ConnectPeer(OtherId);
    view.calls.clear();
    core->AllowOnlyViewingClick();
    EXPECT_TRUE(core->AppSettings().AllowOnlyViewing);
    core->AllowOnlyViewingClick();
    EXPECT_FALSE(core->AppSettings().AllowOnlyViewing);
    EXPECT_EQ(rtc->TakeData(), (std::vector<std::string>{"222333444: DEMONSTRATION_ON", "222333444: DEMONSTRATION_OFF"}));
    EXPECT_EQ(view.calls, QStringList({"UpdateWindowCaption", "UpdateWindowCaption"}));
}

// The host follows its session's lock state: every viewer is told to
// reconnect before the call drops, so that the next admission picks the
// fitting picture source; a transfer holds the gated "RECONNECT" back.
TEST_F(AppCoreTest, LockAndUnlockTellTheViewersAndDropTheCall) {
    ASSERT_TRUE(CreateCore());
    ASSERT_TRUE(sessions.handler);
    ConnectPeer("111111111");
    ConnectPeer("222222222");
    view.calls.clear();

    sessions.handler(platform::SessionChange::Locked);
    EXPECT_TRUE(processState().LockScreenMode);
    EXPECT_EQ(rtc->TakeData(), (std::vector<std::string>{"111111111: RECONNECT", "222222222: RECONNECT"}));
    EXPECT_FALSE(rtc->Active());
    EXPECT_TRUE(view.calls.isEmpty());

    sessions.handler(platform::SessionChange::Locked);  // no change: nothing
    EXPECT_EQ(rtc->deactivations, 1);

    ConnectPeer("111111111");
    processState().TransferMode = TTransferMode::Receiving;
    sessions.handler(platform::SessionChange::Unlocked);
    processState().TransferMode = TTransferMode::Idle;
    EXPECT_FALSE(processState().LockScreenMode);
    EXPECT_TRUE(rtc->TakeData().empty());
    EXPECT_EQ(rtc->deactivations, 2);
    EXPECT_EQ(view.calls, QStringList({"CloseDesktopCopyWindow"}));

    processState().LockScreenMode = true;  // started before anybody logged on
    sessions.handler(platform::SessionChange::LoggedOn);
    EXPECT_FALSE(processState().LockScreenMode);

    processState().MasterMode = true;  // a viewer ignores its session
    sessions.handler(platform::SessionChange::Locked);
    EXPECT_FALSE(processState().LockScreenMode);
}

// The transfer is the core's: a viewer's "GETFILE" shows the host's file
// chooser on the timer's tick and the choice is offered back; "OPENDOCSDIR"
// from a peer that delivered nothing opens nothing; a printed document is
// sent for a process of this user only.
TEST_F(AppCoreTest, TransferRequestsAndPrintJobsGoThroughTheTransfer) {
    ASSERT_TRUE(CreateCore());
    const auto peer = ConnectPeer(OtherId);
    rtc->Events().rtcClientReceiveData(*peer, "GETFILE");
    EXPECT_EQ(rtc->CurrentViewingPeerID(), OtherId);
    EXPECT_TRUE(core->Timers().TimerSelectDirsAndFiles->isActive());
    view.filesAnswer = QStringList{QString::fromStdString(Program("cr2.dt").string())};
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.Called("ChooseFilesAndFolders"); }, 5000));
    EXPECT_EQ(rtc->TakeData(), (std::vector<std::string>{"222333444: SELECTDIR"}));

    rtc->Events().rtcClientReceiveData(*peer, "OPENDOCSDIR");
    EXPECT_TRUE(shell.calls.empty());

    std::filesystem::create_directories(folder.path().toStdString() + "/received");
    QFile document(folder.path() + "/received/VELMORAPRINTER.PDF");
    ASSERT_TRUE(document.open(QIODevice::WriteOnly));
    document.write("%PDF-1.4");
    document.close();
    platform::InstanceMessage job{platform::PrintJobMessage, 0, 0, {}};
    job.senderUid = ::geteuid() + 1;
    core->HandleInstanceMessage(job);
    EXPECT_FALSE(core->Timers().TimerStartFileTransfer->isActive()) << "another user's print job";
    job.senderUid = ::geteuid();
    core->HandleInstanceMessage(job);
    EXPECT_TRUE(core->Timers().TimerStartFileTransfer->isActive());
    EXPECT_EQ(core->Transfer().SelectedFilesAndDirs, QStringList{document.fileName()});
    core->Timers().TimerStartFileTransfer->stop();
}

TEST_F(AppCoreTest, ClosingWithAutomaticStartOnAsksToDisableItFirst) {
    const QString disable = "Confirm: Please disable autostart!";
    const QString exit = "Confirm: Do you really want to exit?";
    struct Case {
        const char* name;
        bool autostartOn, answer;
        bool closes;
        QStringList asked;
        bool helperRun;
    };
    const Case cases[] = {
        {"on, OK twice: switched off, then closed", true, true, true, {disable, exit}, true},
        {"on, Cancel: stays on and open", true, false, false, {disable}, false},
        {"off: only the exit question", false, true, true, {exit}, false},
    };
    ASSERT_TRUE(CreateCore());
    for (const Case& c : cases) {
        std::error_code ec;
        std::filesystem::remove(Program("~i"), ec);
        if (c.autostartOn) std::filesystem::create_directory(Program("~i"));
        view.messages.clear();
        shell.calls.clear();
        view.confirmAnswer = c.answer;
        EXPECT_EQ(core->QueryClose(), c.closes) << c.name;
        EXPECT_EQ(view.messages, c.asked) << c.name;
        const std::vector<fakes::ShellCall> helper = {{"open", Program("crsystem").string(), "/uninstall"}};
        EXPECT_EQ(shell.calls, c.helperRun ? helper : std::vector<fakes::ShellCall>{}) << c.name;
    }
}

TEST_F(AppCoreTest, HostWithoutAScreenFindsItsCredentialsInItsFile) {
    credentialsFile = folder.filePath("credentials");
    ASSERT_TRUE(CreateCore());
    QFile file(credentialsFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              "ID=" + OwnId() + "\nPassword=" + core->AppSettings().HostPassword + "\n");
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions{});
}

// A password and a white list confirmed in their dialogs rule the very next
// admission: the old password is refused, the new one admitted, and an ID
// off the list is turned away before any password check.
TEST_F(AppCoreTest, CredentialsChangedThroughTheDialogsRuleTheNextAdmission) {
    StartSignalling();
    ASSERT_TRUE(CreateCore());
    ASSERT_TRUE(WaitJoined());
    const QString host = OwnId();
    const QString oldPassword = core->AppSettings().HostPassword;
    auto viewer = JoinAs(OtherId);

    view.calls.clear();
    view.passwordAnswer = HostPasswordAnswer{false, u" newpass1 "_qs};
    core->Password1Click();
    EXPECT_EQ(core->AppSettings().HostPassword, "newpass1");
    EXPECT_FALSE(core->AppSettings().RandomPasswordMode);
    EXPECT_TRUE(view.Called("ShowIdentity " + host + " " + QString(8, QChar(0x25CF))));
    Settings reread(core->AppSettings().environment());
    ASSERT_TRUE(reread.read());
    EXPECT_EQ(reread.HostPassword, "newpass1") << "the new password was not saved";

    // The reply's type and, for an error, its kind.
    const auto admission = [&](const QString& password) -> QString {
        viewer->writeLine(PeerLine(OtherId, host, u"init"_qs, {}, password, u"Viewer"_qs));
        const auto turn = Expect(*viewer, u"message"_qs, {});
        if (!turn) return "nothing";
        if (turn->type != "error") return turn->type;
        const auto error = ParsePayloadObject(turn->payload);
        return "error " + (error ? error->value("type").toString() : QString());
    };
    EXPECT_EQ(admission(oldPassword), "error invalid_password");
    EXPECT_EQ(admission(u"newpass1"_qs), "turn");

    view.whiteListAnswer = WhiteListAnswer{true, {u"999888777"_qs, u""_qs}};
    core->SetWhitelist1Click();
    EXPECT_TRUE(view.Called("AskWhiteList 0 "));
    EXPECT_EQ(admission(u"newpass1"_qs), "error not_whitelisted");
    view.whiteListAnswer = WhiteListAnswer{true, {u"999888777"_qs, OtherId}};
    core->SetWhitelist1Click();
    EXPECT_EQ(admission(u"newpass1"_qs), "turn");
}

// The automatic start asks for a static password without a sender: the
// dialog opens unticked and empty, and the answer says whether one is set.
// From a static password, "random" makes a new one shown in clear; a
// cancelled dialog changes nothing.
TEST_F(AppCoreTest, PasswordDialogPathsWithAndWithoutSender) {
    ASSERT_TRUE(CreateCore());
    const QString random = core->AppSettings().HostPassword;

    view.passwordAnswer.reset();
    EXPECT_FALSE(core->RequireStaticPassword());
    ASSERT_TRUE(view.passwordFill);
    EXPECT_FALSE(view.passwordFill->Random);
    EXPECT_EQ(view.passwordFill->Password, "");
    EXPECT_EQ(core->AppSettings().HostPassword, random);
    EXPECT_TRUE(core->AppSettings().RandomPasswordMode);

    view.passwordAnswer = HostPasswordAnswer{false, u"autostart1"_qs};
    EXPECT_TRUE(core->RequireStaticPassword());
    EXPECT_EQ(core->AppSettings().HostPassword, "autostart1");

    view.calls.clear();
    view.passwordAnswer = HostPasswordAnswer{true, u"autostart1"_qs};
    core->Password1Click();
    EXPECT_EQ(view.passwordFill->Password, "autostart1") << "a static password fills the edits";
    const QString fresh = core->AppSettings().HostPassword;
    EXPECT_EQ(fresh.size(), 6);
    EXPECT_NE(fresh, "autostart1");
    EXPECT_TRUE(view.Called("ShowIdentity " + OwnId() + " " + fresh));

    core->Password1Click();  // random stays random: the password in use stays
    EXPECT_EQ(core->AppSettings().HostPassword, fresh);
}

// "Automatic Start" with a random password goes through the password
// dialog's path without a sender: only a static password confirmed there
// lets the helper install the automatic start.
TEST_F(AppCoreTest, AutomaticStartWithARandomPasswordAsksForAStaticOneFirst) {
    ASSERT_TRUE(CreateCore());
    ASSERT_TRUE(core->AppSettings().RandomPasswordMode);
    const std::vector<fakes::ShellCall> install = {{"open", Program("crsystem").string(), "/install"}};
    struct Case {
        const char* name;
        std::optional<HostPasswordAnswer> answer;
        bool installed;
    };
    const Case cases[] = {
        {"cancelled: nothing installed", std::nullopt, false},
        {"random kept: nothing installed", HostPasswordAnswer{true, u""_qs}, false},
        {"static confirmed: installed", HostPasswordAnswer{false, u"autostart1"_qs}, true},
    };
    for (const Case& c : cases) {
        shell.calls.clear();
        view.passwordFill.reset();
        view.passwordAnswer = c.answer;
        core->AutomaticStartClick();
        ASSERT_TRUE(view.passwordFill) << c.name << ": the password dialog did not open";
        EXPECT_FALSE(view.passwordFill->Random) << c.name;
        EXPECT_EQ(shell.calls, c.installed ? install : std::vector<fakes::ShellCall>{}) << c.name;
    }
    EXPECT_EQ(core->AppSettings().HostPassword, "autostart1");
}

TEST_F(AppCoreTest, DisplayNameKeepsTheOldNameWhenConfirmedEmpty) {
    ASSERT_TRUE(CreateCore());
    struct Case {
        std::optional<QString> answer;
        const char* stored;
    } cases[] = {
        {u"  Office 2 "_qs, "Office 2"},
        {u"   "_qs, "Office 2"},
        {std::nullopt, "Office 2"},
        {u"Lab"_qs, "Lab"},
    };
    for (const Case& c : cases) {
        view.displayNameAnswer = c.answer;
        core->SetName1Click();
        EXPECT_EQ(core->AppSettings().DisplayName, c.stored);
    }
    Settings reread(core->AppSettings().environment());
    ASSERT_TRUE(reread.read());
    EXPECT_EQ(reread.DisplayName, "Lab");
}

TEST_F(AppCoreTest, ConnectionLogIsClearedOnlyWithoutPeers) {
    const std::filesystem::path logFile = Program("log.txt");
    {
        QFile file(QString::fromStdString(logFile.string()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("b (2)\r\na (1)\r\n");  // an older file without the byte-order mark
    }
    ASSERT_TRUE(CreateCore());
    core->ConnectionsLogClick();
    EXPECT_TRUE(view.Called("ShowConnectionLog 0 b (2)|a (1)"));

    ConnectPeer(OtherId);
    core->ConnectionsLogClick();
    EXPECT_TRUE(view.Called("ShowConnectionLog 1 b (2)|a (1)"));
    EXPECT_FALSE(core->ClearConnectionLog());
    EXPECT_TRUE(std::filesystem::exists(logFile));

    rtc->EndCall(OtherId);
    EXPECT_TRUE(core->ClearConnectionLog());
    EXPECT_TRUE(core->Log().IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(logFile));
}

// "Disconnect Selected": the chosen viewers hear "DISCONNECT", then their
// calls end; the others stay.
TEST_F(AppCoreTest, DisconnectConnectionsEndsOnlyTheChosenViewers) {
    ASSERT_TRUE(CreateCore());
    ConnectPeer(u"111111111"_qs)->UserName = u"Ulla"_qs;
    ConnectPeer(u"555555555"_qs)->UserName = u"Bo"_qs;
    ConnectPeer(u"777777777"_qs)->UserName = u"Jo"_qs;
    core->ConnectionsInfoClick();
    EXPECT_TRUE(view.Called("ShowConnections Ulla (111111111)|Bo (555555555)|Jo (777777777)"));

    view.calls.clear();
    core->DisconnectConnections({u"111111111"_qs, u"777777777"_qs});
    EXPECT_EQ(rtc->TakeData(), (std::vector<std::string>{"111111111: DISCONNECT", "777777777: DISCONNECT"}));
    EXPECT_EQ(rtc->PeerCount(), 1);
    EXPECT_TRUE(rtc->FindPeer(u"555555555"_qs));
    EXPECT_TRUE(view.Called("UpdateWindowCaption"));
    EXPECT_FALSE(view.Called("ExpandAfterSessions")) << "a viewer is still connected";

    core->DisconnectConnections({u"555555555"_qs});
    EXPECT_EQ(rtc->PeerCount(), 0);
    EXPECT_TRUE(view.Called("ExpandAfterSessions"));
}

}  // namespace
}  // namespace corvala
