#pragma once
// The application core: the program without its windows. It owns the
// settings, the peer-connection component, the signalling connection and
// its dispatch, session set-up, the remote-control objects (messenger, host
// and viewer input, dispatcher, liveness check, tabs), the hand-over from
// the engine's threads to the main thread, the creation steps and the close
// sequence. main.cpp makes the platform objects, the core and the windows,
// in that order; the windows see the core through its public methods and the
// core sees them through IAppView.
//
// How one received data-channel message travels: the engine's thread calls
// rtcClientReceiveData, which waits while the main thread runs
// DataChannelDispatcher::Receive, which hands input to
// HostInput::ParseAndInject.
//
// Every module reports to the core through its own small interface (the
// I...Events classes below); the core passes each call on to the module or
// the view that does the work. A message for a feature this build lacks is
// logged and dropped, never silently lost.

#include "base/MessageKind.h"
#include "base/ProductInfo.h"
#include "base/ProcessState.h"
#include "control/Chat.h"
#include "control/ClipboardSharing.h"
#include "control/DataChannelDispatcher.h"
#include "control/DemonstrationMode.h"
#include "control/HostCommands.h"
#include "control/HostInput.h"
#include "control/LivenessCheck.h"
#include "control/PeerMessenger.h"
#include "control/ViewerInput.h"
#include "control/Voice.h"
#include "core/AliveButtonState.h"
#include "core/CloseQuery.h"
#include "core/PayloadIntegrity.h"
#include "core/TabController.h"
#include "features/AddressBook.h"
#include "features/ConnectionLog.h"
#include "features/PrinterDriverDownload.h"
#include "features/Review.h"
#include "features/WakeOnLan.h"
#include "media/RtcClientPort.h"
#include "platform/Folders.h"
#include "platform/InstanceChannel.h"
#include "platform/NoDesktop.h"
#include "platform/SessionMonitor.h"
#include "relay/NoRouterForwarding.h"
#include "relay/RelayHosting.h"
#include "screen/CursorShapes.h"
#include "session/SessionSetup.h"
#include "settings/Settings.h"
#include "signalling/ClientMessage.h"
#include "system/CompanionService.h"
#include "transfer/FileTransfer.h"
#include "update/Update.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace corvala {

class IAppView;
class SignallingConnection;
class THostCapture;
struct SignallingConfig;
namespace platform {
class IShell;
class IUserSession;
class IInputInjector;
class IProcessTerminator;
class ICursorNames;
}  // namespace platform

// The operating system as the core uses it; main.cpp makes these.
struct CorePlatform {
    CorePlatform(platform::IShell& shell, platform::IInputInjector& injector, platform::ICursorNames& cursorNames)
        : Shell(shell), Injector(injector), CursorNames(cursorNames) {}
    platform::IShell& Shell;
    platform::IInputInjector& Injector;
    platform::ICursorNames& CursorNames;
    // Lock and unlock notifications; none where the system has none.
    platform::ISessionMonitor* SessionMonitor = nullptr;
    // The capture thread start-up started; none when it could not start.
    THostCapture* HostCapture = nullptr;
    // What the host commands and clipboard sharing use of the desktop; where
    // one is missing the core acts as on a desktop without it (commands
    // answer that they cannot run, nothing is shared).
    platform::ISystemControl* System = nullptr;
    platform::IDesktopPrograms* Programs = nullptr;
    platform::IDesktopCapture* Screenshots = nullptr;  // used on the main thread only
    platform::IClipboard* Clipboard = nullptr;
    // The console user's session, for a copy the companion helper started.
    platform::IUserSession* UserSession = nullptr;
    // Loads the media engine; throws MediaLibraryError when it cannot.
    std::function<std::unique_ptr<TWebRtcClientPort>(const QString& programFolder)> LoadEngine;
    // Ends the relay before a self-update; none: nothing is ended.
    platform::IProcessTerminator* Processes = nullptr;
    // The own relay's router, web service, processes and process times;
    // where one is missing the core uses its own: no router, HTTP to the
    // tools address, /proc and QProcess.
    IPortForwarding* PortForwarding = nullptr;
    IRelayWebQueries* RelayWeb = nullptr;
    IRelayProcesses* RelayProcesses = nullptr;
    relay::ProcessTimesSource* RelayTimes = nullptr;
};

// Values the core is made with.
struct CoreEnvironment {
    platform::ProgramFolders Folders;
    QString MacAddressText;
    QString MachineFingerprint;
    QString SupportContact;
    QString WebSiteAddress;
    QString ToolsAddress;
    // The files the integrity test compares: the program passes the build's
    // own (DeliveredDigests), tests the ones they put into their folder.
    std::span<const ExpectedDigest> TrustedFiles;
    // Started by the companion helper ("/from_service").
    bool ServiceStarted = false;
    // Where the ID and password are written at start (CORVALA_CREDENTIALS_FILE,
    // for a host without a screen); empty: nowhere.
    QString CredentialsFile;
    // The version this copy runs as, and the key (Ed25519, PEM) a downloaded
    // update must be signed with; empty: the key built into the program.
    int OwnVersion = ProductVersionNumber;
    std::string UpdateKeyPem;
};

// The core's timers, named as the windows' timers were; each feature connects
// its handler when it lands.
struct CoreTimers {
    explicit CoreTimers(QObject* owner);
    QTimer* TimerDataTimeout;
    QTimer* TimerMouseCursorCheck;
    QTimer* TimerCopyImagehider;
    QTimer* TimerControlCommand;
    QTimer* TimerShowNoSpeakDialog;
    QTimer* TimerShowCannotProcessCtrlAltDelDialog;
    QTimer* TimerMagnifierMinimizer;
    QTimer* TimerSelectDirectory;
    QTimer* TimerSelectDirsAndFiles;
    QTimer* TimerTransferFormShow;
    QTimer* TimerStartFileTransfer;
    QTimer* TurnChecker;
    QTimer* TimerTurnServerCPUUsageControl;
};

class TAppCore final : public QObject,
                       private IRtcClientEvents,
                       private IClientMessageEvents,
                       private ISessionEnvironment,
                       private ISessionEvents,
                       private IDispatcherEvents,
                       private ILivenessEvents,
                       private IViewerInputEvents,
                       private ITabEvents,
                       private ICloseQuestions,
                       private ITransferEvents,
                       private IHostCommandEvents,
                       private IChatEvents,
                       private IVoiceEvents,
                       private ICompanionEvents,
                       private update::IUpdateEvents,
                       private IPrinterDownloadEvents,
                       private IRelayHostingEvents {
    Q_OBJECT
public:
    TAppCore(CoreEnvironment environment, CorePlatform platform);
    ~TAppCore() override;

    // The creation steps, showing through `view`. False when the program
    // must end (the welcome refused, the integrity test failed, the media
    // engine missing); EventsSuspended is then set.
    bool Create(IAppView& view);

    // ---- What the windows read.
    Settings& AppSettings() { return *FSettings; }
    TWebRtcClientPort& Rtc() { return *FRtc; }
    bool ConnectedToSignalServer() const;
    SignallingConnection* Signalling() const { return FSignalling.get(); }
    int PeerCount() const;
    bool AutostartMarkerExists() const override;
    // An update is on screen ("Download" on the connect button).
    bool ForcedUpdateShown() const { return FUpdate && FUpdate->DownloadPending(); }
    const CoreTimers& Timers() const { return *FTimers; }
    const ConnectionLog& Log() const { return FConnectionLog; }
    const TSessionSetup& Session() const { return *FSession; }
    // The own relay; the self-update ends it (EndRelayProcesses) before it
    // replaces the program.
    TRelayHosting& Relay() { return *FRelay; }
    // The contacts book's process-wide state and its file; the Wake-on-LAN
    // table and its file.
    TBookState& BookState() { return FBookState; }
    QString AddressBookPath() const;
    WakeTable& Wake() { return FWakeTable; }
    QString WakeTablePath() const;

    // ---- What the windows forward.
    // The connect button: the host panel's (`fromHostPanel`) or the tab
    // strip's "+".
    void ConnectAction(bool fromHostPanel);
    // The remote area's button, by its current caption.
    void ReconnectButtonClick();
    ViewerInput& Viewer() { return *FViewer; }
    // A host command from the viewer's control menus ("CONTROL n").
    void SendControlCommand(int n);
    TabController& Tabs() { return *FTabs; }
    // "Send File...", "Receive File...", the transfer window's Abort.
    FileTransfer& Transfer() { return *FTransfer; }
    // A control-menu monitor item ("1" to "9").
    void ChooseMonitor(const QString& caption);
    void UpdateMonitorMenu() override;
    // The remote area's status label and button from the viewed peer.
    void UpdateAliveButton() override;
    void AutomaticStartClick();
    void AllowOnlyViewingClick();
    void ChooseLanguage(int index);
    void OpenWebAddress(const QString& address) override;
    // The update tool image, and the main button while it reads "Download"
    // or "Abort" (through ConnectAction).
    update::TUpdate& Update() { return *FUpdate; }
    // The printer driver's menu entry and its download window's Abort.
    TPrinterDriverDownload& PrinterDownload() { return *FPrinterDownload; }
    // The review window's "Send": false when nothing was sent (the user has
    // been told why: not rated, too long, no link to the server).
    bool SendReview(const TReview& review);
    const CoreEnvironment& Environment() const { return FEnv; }
    // The caption's hide-to-tray: refused while peers are connected.
    bool MayHideToTray() const { return PeerCount() == 0; }

    // ---- Chat, voice and the clipboard, from their windows.
    // "Send Message...": the chat window (its message line cleared when
    // asked); nothing while a transfer runs.
    void OpenChat(bool clearMessageLine);
    // The chat window's "Send" or Enter; true when the line went out.
    bool SendChatLine(const QString& recipient, const QString& line);
    // "Speak...", and the voice window's closing.
    void Speak1Click();
    void VoiceWindowClosed();
    // The host panel's copy icon: the ID or the password on this clipboard
    // only.
    void CopyIdentity(bool password);

    // ---- Credentials and the connection history (AppCoreConnections.cpp).
    // "Set Password..."; without a sender (the automatic start wants a
    // static password) the dialog opens unticked and empty.
    void Password1Click(bool withSender = true);
    // Password1Click's no-sender path (the automatic start needs a static
    // password); true when a static password is set afterwards.
    bool RequireStaticPassword() override;
    void SetWhitelist1Click();
    void SetName1Click();
    // "Connection Log..." and its "Clear" (refused while peers are
    // connected; true when the log was emptied).
    void ConnectionsLogClick();
    bool ClearConnectionLog();
    // The caption's information button, and "Disconnect Selected".
    void ConnectionsInfoClick();
    void DisconnectConnections(const QStringList& ids);

    // ---- From outside the program.
    void HandleInstanceMessage(const platform::InstanceMessage& message);
    // `cr --connect`: the connection dialog pre-filled and confirmed once
    // the signalling server is joined.
    void ConnectFromCommandLine(const ConnectRequest& request);
    void HandleSessionChange(platform::SessionChange change);

    // ---- Closing.
    // The desktop session ends (logout, shutdown): close without questions.
    void SetEndingSession() { FEndingSession = true; }
    // The questions before closing; true when the program may close.
    bool QueryClose();
    // Settings saved, peers told, signalling and engine shut down.
    void CloseSequence();
    bool Closing() const { return FClosing; }

private:
    // Creation steps.
    bool PassesIntegrityTest();
    bool LoadEngine();
    void CreateSignalling();
    void CreateSession();
    void CreateControl();
    void CreateTransfer();
    // Host commands, clipboard sharing, chat and voice, with their timers.
    void CreateCompanions();
    void WriteCredentials();
    // The own relay's setup on TurnChecker and its watchdog.
    void CreateRelay();
    void ApplyBranding();
    // The update check (started here) and the printer driver's download.
    void CreateWebFeatures();
    QString PasswordFigure() const;

    void SendToEveryPeer(const QString& text);
    // The remote area's button by its caption; `withoutSender`: pressed by
    // the liveness check rather than by the user.
    void RunReconnectButton(bool withoutSender);
    void CursorCheckTick();
    // The peer ended on the engine's side (main thread, after the hand-over);
    // `reconnectAnnounced`: its host had said "RECONNECT".
    void PeerEndedByEngine(const QString& peerId, bool reconnectAnnounced);
    // The message box, never waiting inside a signalling line's handling.
    void ShowMessage(bool modal, MessageKind kind, const QString& text);

    // IRtcClientEvents (engine threads).
    void rtcClientReceiveData(TPeer& sender, const QByteArray& data) override;
    void rtcClientRenderFrame(const QString& peerId) override;
    void rtcClientSdpCreateSuccess(TPeer& peer, const QString& sdpType, const QString& sdp) override;
    void rtcClientIceCandidate(TPeer& peer, int label, const QString& id, const QString& candidate) override;
    void rtcClientRemoveRemoteStream(const TPeer& peer) override;
    void rtcClientError(const QString& error) override;

    // IClientMessageEvents.
    void SignallingInvalidId() override;
    void SignallingJoined() override;
    void ApplyIceServerFromPayload(const IceServer& relay, bool remember) override;
    void SendInitAfterPublicTurn(bool newConnection) override;
    void HandlePeerMessage(const QJsonObject& message) override;

    // ISessionEnvironment.
    bool SendLine(const QByteArray& line) override;
    bool SaveSettings() override;
    bool MasterMode() const override;
    void SetMasterMode() override;
    bool LockScreenMode() const override;
    std::optional<OwnRelay> RunningRelay() const override;
    QString CountryCode() const override;
    LocalScreens Screens() const override;

    // ISessionEvents and ICloseQuestions.
    void ShowWarning(const QString& text) override;
    void ShowNonModalWarning(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;
    void LogConnection(const QString& text) override;
    void RefreshChatRecipients() override;
    void ResetFrameWatch(const QString& id) override;
    void DisconnectAllPeers() override;
    void SwitchToViewerLayout() override;
    void CloseVoiceWindow() override;
    std::optional<ConnectionDialogResult> ShowConnectionDialog(
        const std::optional<ConnectRequest>& confirmWith) override;
    void AddTab(const QString& caption, const QString& id) override;
    void SelectTab(const QString& id) override;
    void ClearPressedKeys() override;
    void UpdateMonitorMenu(const QString& id) override;
    void RememberWakeOnLan(const QString& id, const QString& macAddress) override;
    void OpenVoiceWindow(const QString& id) override;
    unsigned long ShowDesktopCopyWindow() override;
    void ShowWindowForSession() override;
    void ClearBookUnlocked() override;
    void CollapseForSession() override;
    bool VoiceWindowShowing() const override;
    void DriveMagnifier(bool start) override;
    void DisableAutostart() override;

    // IDispatcherEvents.
    bool AllowOnlyViewing() const override;
    void OpenDocsDir(TPeer& sender) override;
    void ArmNoSpeakDialog(bool demonstration) override;
    void ArmCannotCtrlAltDelDialog() override;
    void CommandNotAvailable(TPeer& sender, int n) override;
    void ShowChatLine(TPeer& sender, const QString& text) override;
    void SetClipboardText(TPeer& sender, const QString& text) override;
    void ArmControlCommand(TPeer& sender, int n) override;
    bool HandleFileTransfer(TPeer& sender, const QString& text, const QByteArray& raw) override;
    void SetRemoteCursor(Qt::CursorShape shape) override;

    // ILivenessEvents.
    void TransferTimeoutTick() override;
    void SessionsEnded(bool noPeerLeft) override;
    bool ReconnectButtonVisible() const override;
    void Reconnect() override;

    // IViewerInputEvents.
    bool TabActive() const override;
    void ShowDemonstrationMessage() override;
    void InjectLocalEscape() override;

    // ITabEvents.
    QString CurrentViewingPeerID() const override;
    void SetCurrentViewingPeerID(const QString& id) override;
    void ResetFrameWatch() override;
    void SendMessageToPeer(const QString& id, const QString& text) override;
    void PumpMessages(int milliseconds) override;
    void EndCall(const QString& id) override;
    void HideToolbar() override;

    // ITransferEvents (MasterMode and UpdateAliveButton above).
    void ArmTimer(TransferTimer timer) override;
    std::optional<QStringList> ChooseFilesAndFolders() override;
    std::optional<QString> ChooseDestinationFolder(const QString& current) override;
    void SetBusyCursor(bool busy) override;
    void ShowTransferWindow(bool modal) override;
    bool TransferWindowShowing() const override;
    void ShowTransferState(const transfer::TransferWindowState& state) override;
    void CloseTransferWindow() override;
    void ShowTransferMessage(MessageKind kind, const QString& text) override;
    void OpenFolder(const QString& path) override;
    void CallEndedByTransfer() override;
    // A printed document from a local process of this user (or the system).
    void PrintJobFrom(const platform::InstanceMessage& message);
    // IHostCommandEvents, IChatEvents, IVoiceEvents.
    void SendFileToViewer(const QString& path, const QString& peerId) override;
    void ShowNotice(const QString& text) override;
    void ShowChatWindow() override;
    void AppendChatLine(const ChatLine& line) override;
    void ShowVoiceWindow(const QString& caption) override;
    // ICompanionEvents (ShowWarning and RequireStaticPassword above).
    bool RandomPasswordMode() const override;
    // IUpdateEvents (SetBusyCursor, AutostartMarkerExists and OpenWebAddress above).
    void ShowUpdateTool(const QString& hint) override;
    void ShowUpdateNotice(const QString& heading, bool offer) override;
    void SetUpdateButton(const char* englishKey) override;
    void SetUpdateProgress(int percent) override;
    bool EventsSuspended() const override;
    void ShowUpdateWarning(const QString& text) override;
    void EndRelayProcesses() override;
    bool StartProgram(const QString& path, const QString& parameters) override;
    void CloseForUpdate() override;
    // IPrinterDownloadEvents.
    bool ConfirmPrinterDownload(const QString& text) override;
    void ShowPrinterDownload(const QString& caption, const QString& status) override;
    void SetPrinterProgress(int percent) override;
    void ClosePrinterDownload() override;
    void ShowPrinterError(const QString& text) override;
    void OpenFile(const QString& path) override;
    // IRelayHostingEvents (ConnectedToSignalServer and SaveSettings above).
    bool SendRelayMessage(const QString& msg, const QString& payload) override;
    void AddOwnIceServer(const QString& url, const QString& userName, const QString& password) override;
    void ShowRelaySetupRunning(bool running) override;

    CoreEnvironment FEnv;
    CorePlatform FPlatform;
    IAppView* FView = nullptr;  // set by Create, before anything can call it

    std::unique_ptr<Settings> FSettings;
    ConnectionLog FConnectionLog;
    TBookState FBookState;
    WakeTable FWakeTable;
    QString ConnectionLogPath;
    std::unique_ptr<CoreTimers> FTimers;

    std::unique_ptr<TWebRtcClientPort> FRtc;
    std::unique_ptr<SignallingConnection> FSignalling;
    std::unique_ptr<ClientMessage> FClientMessage;
    std::unique_ptr<TSessionSetup> FSession;

    std::unique_ptr<PeerMessenger> FMessenger;
    std::unique_ptr<HostInput> FHostInput;
    std::unique_ptr<DataChannelDispatcher> FDispatcher;
    std::unique_ptr<ViewerInput> FViewer;
    std::unique_ptr<LivenessCheck> FLiveness;
    std::unique_ptr<TabController> FTabs;
    std::unique_ptr<DemonstrationMode> FDemonstration;
    std::unique_ptr<FileTransfer> FTransfer;
    platform::NoSystemControl FNoSystem;
    platform::NoDesktopPrograms FNoPrograms;
    platform::NoDesktopCapture FNoCapture;
    platform::NoClipboard FNoClipboard;
    std::unique_ptr<HostCommands> FHostCommands;
    std::unique_ptr<ClipboardSharing> FClipboard;
    std::unique_ptr<Chat> FChat;
    std::unique_ptr<Voice> FVoice;
    std::unique_ptr<CompanionService> FCompanion;
    std::unique_ptr<update::TUpdate> FUpdate;
    std::unique_ptr<TPrinterDriverDownload> FPrinterDownload;
    CursorShapeMonitor FCursorMonitor;
    NoRouterForwarding FNoRouter;
    std::unique_ptr<HttpRelayWebQueries> FRelayWeb;
    ProcRelayProcesses FRelayProcesses;
    relay::ProcStatTimes FRelayTimes;
    std::unique_ptr<TRelayHosting> FRelay;
    // What the remote area's label and button show now.
    AliveButtonStatus FAliveStatus;

    // A signalling line or a data-channel message is being handled: its
    // thread waits, so no box may wait for the user now (ShowMessage).
    bool FHandlingNetworkMessage = false;
    // Viewer: the host whose ended connection this side asked to renew.
    QString FReconnectingTo;
    // Viewer: while the viewed tab has lost its connection, "init" goes to
    // its host again every few seconds, so that the picture comes back by
    // itself once the network does; the server's "invalid_id" for these
    // tries is no news to the user.
    QTimer FRenewTimer;
    bool FLastInitAutomatic = false;
    void RenewTick();
    // Viewer: hosts that said "DISCONNECT" (their user ended this session):
    // their ended connection is not renewed by itself.
    QSet<QString> FEndedByHost;
    bool FEndingSession = false;
    bool FClosing = false;
};

}  // namespace corvala
