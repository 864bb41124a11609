#include "core/AppCore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QLocale>
#include <QScopedValueRollback>
#include <QThread>

#include <unistd.h>

#include "base/Log.h"
#include "base/ProductInfo.h"
#include "core/AppView.h"
#include "core/BrandingFile.h"
#include "core/EngineHandOver.h"
#include "core/IceServerDefaults.h"
#include "i18n/SystemLanguage.h"
#include "i18n/Translator.h"
#include "identity/RandomCredentials.h"
#include "media/MediaLibraryLoader.h"
#include "platform/CursorNames.h"
#include "platform/InputInjector.h"
#include "platform/ProcessTerminator.h"
#include "platform/Shell.h"
#include "screen/MonitorMenu.h"
#include "screen/ScreenshotThread.h"
#include "session/QtScreens.h"
#include "signalling/SignallingConnection.h"
#include "system/CredentialsFile.h"
#include "update/UpdateSignature.h"
#include "signalling/SignallingMessage.h"

namespace corvala {

namespace {

// The pause that lets "RECONNECT" and "DISCONNECT" leave before the
// connections they concern go down.
constexpr int CloseRecoveryPumpMs = 1000;
// How often a viewer asks a host again whose connection the engine ended.
constexpr int RenewIntervalMs = 3000;
const QString Bullet = QString(QChar(0x25CF));

QString Format(const QString& text, const QString& value) {
    QString out = text;
    const int at = out.indexOf("%s");
    if (at >= 0) out.replace(at, 2, value);
    return out;
}

QString InFolder(const std::filesystem::path& folder, const char* name) {
    return QString::fromStdString((folder / name).string());
}

QTimer* MakeTimer(QObject* owner, int interval, const char* name) {
    auto* timer = new QTimer(owner);
    timer->setInterval(interval);
    timer->setObjectName(name);
    return timer;
}

}  // namespace

CoreTimers::CoreTimers(QObject* owner)
    : TimerDataTimeout(MakeTimer(owner, 1000, "TimerDataTimeout")),
      TimerMouseCursorCheck(MakeTimer(owner, 100, "TimerMouseCursorCheck")),
      TimerCopyImagehider(MakeTimer(owner, 300, "TimerCopyImagehider")),
      TimerControlCommand(MakeTimer(owner, 100, "TimerControlCommand")),
      TimerShowNoSpeakDialog(MakeTimer(owner, 1000, "TimerShowNoSpeakDialog")),
      TimerShowCannotProcessCtrlAltDelDialog(MakeTimer(owner, 1000, "TimerShowCannotProcessCtrlAltDelDialog")),
      TimerMagnifierMinimizer(MakeTimer(owner, 1000, "TimerMagnifierMinimizer")),
      TimerSelectDirectory(MakeTimer(owner, 1000, "TimerSelectDirectory")),
      TimerSelectDirsAndFiles(MakeTimer(owner, 1000, "TimerSelectDirsAndFiles")),
      TimerTransferFormShow(MakeTimer(owner, 1000, "TimerTransferFormShow")),
      TimerStartFileTransfer(MakeTimer(owner, 500, "TimerStartFileTransfer")),
      TurnChecker(MakeTimer(owner, 100, "TurnChecker")),
      TimerTurnServerCPUUsageControl(MakeTimer(owner, 30000, "TimerTurnServerCPUUsageControl")) {}

TAppCore::TAppCore(CoreEnvironment environment, CorePlatform platform)
    : FEnv(std::move(environment)), FPlatform(std::move(platform)), FTimers(std::make_unique<CoreTimers>(this)) {
    FCompanion = std::make_unique<CompanionService>(FEnv.Folders.program, FEnv.ServiceStarted, FPlatform.Shell,
                                                    FPlatform.UserSession, static_cast<ICompanionEvents&>(*this));
    FRenewTimer.setInterval(RenewIntervalMs);
    connect(&FRenewTimer, &QTimer::timeout, this, &TAppCore::RenewTick);
}

TAppCore::~TAppCore() {
    // The connection log is saved, then everything else goes with its owner.
    if (!ConnectionLogPath.isEmpty() && !FConnectionLog.IsEmpty()) FConnectionLog.Save(ConnectionLogPath);
    FTimers->TimerTurnServerCPUUsageControl->stop();
    // The capture thread lets go of the host input before it goes.
    if (FPlatform.HostCapture) FPlatform.HostCapture->Input().Detach();
}

// ---- creation ------------------------------------------------------------

bool TAppCore::Create(IAppView& view) {
    FView = &view;
    ProcessState& state = processState();
    state.LockScreenMode = FPlatform.SessionMonitor && !FPlatform.SessionMonitor->AnySessionActive();
    // A system without session notifications simply sends none.
    if (FPlatform.SessionMonitor)
        FPlatform.SessionMonitor->Start([this](platform::SessionChange change) { HandleSessionChange(change); });
    QCoreApplication::setApplicationName(ProductName);

    SettingsEnvironment settingsEnv;
    settingsEnv.FilePath = InFolder(FEnv.Folders.program, programfiles::Settings);
    settingsEnv.MachineFingerprint = FEnv.MachineFingerprint;
    settingsEnv.PrimaryScreenSize = PrimaryScreenSize();
    settingsEnv.SystemLanguageCode = systemLanguageCode();
    settingsEnv.ComputerName = QHostInfo::localHostName().left(256);
    FSettings = std::make_unique<Settings>(settingsEnv);
    const bool settingsRead = FSettings->read();
    FWakeTable.Load(WakeTablePath());
    translator().buildFromUtf8(embeddedLanguageTable());
    translator().setLanguageCode(FSettings->LanguageCode);
    if (!settingsRead) {
        // First run: a new identity, and the user's consent before anything
        // can reach this computer.
        FSettings->DeviceId = QString::fromStdString(identity::RandomCredentials::MakeDeviceId());
        if (!FView->AskWelcome()) {
            qCInfo(lcCore) << "the welcome was refused: the program ends";
            state.EventsSuspended = true;
            return false;
        }
    }
    FView->TranslateWindow();
    if (!PassesIntegrityTest()) return false;
    ConnectionLogPath = InFolder(FEnv.Folders.program, "log.txt");
    FConnectionLog.Load(ConnectionLogPath);
    if (!LoadEngine()) return false;
    CreateControl();
    CreateCompanions();
    CreateSignalling();
    CreateSession();
    CreateRelay();

    if (FSettings->RandomPasswordMode)
        FSettings->HostPassword = QString::fromStdString(identity::RandomCredentials::RandomCredential());
    FView->ShowIdentity(FSettings->DeviceId, PasswordFigure());
    WriteCredentials();
    if (state.Branded) ApplyBranding();
    FView->ShowHostLayout();
    CreateWebFeatures();
    FTimers->TimerDataTimeout->start();
    FTimers->TimerMouseCursorCheck->start();
    FSignalling->ServerConnectionCheckerTimer();
    return true;
}

bool TAppCore::PassesIntegrityTest() {
    const QString folder = QString::fromStdString(FEnv.Folders.program.string());
    const std::optional<QString> failed = FirstIntegrityFailure(folder, FEnv.TrustedFiles);
    if (!failed) return true;
    qCCritical(lcCore) << "integrity test failed for" << *failed << "in" << folder;
    if (!processState().LockScreenMode)
        FView->ShowAppMessage(true, MessageKind::Error,
                              translate("Error") + " 286." + translate("Please contact developers") + " (" +
                                  FEnv.SupportContact + ").");
    processState().EventsSuspended = true;
    return false;
}

bool TAppCore::LoadEngine() {
    try {
        FRtc = FPlatform.LoadEngine(QString::fromStdString(FEnv.Folders.program.string()));
    } catch (const std::exception& error) {
        qCCritical(lcCore) << "the media engine cannot be used:" << error.what();
        FView->ShowAppMessage(true, MessageKind::Error, QString::fromUtf8(error.what()));
        processState().EventsSuspended = true;
        return false;
    }
    FRtc->SetEvents(*this);
    FRtc->Configure(10);
    // Tests and self-hosting play a file as the microphone.
    if (const QString file = qEnvironmentVariable("CORVALA_MICROPHONE_FILE"); !file.isEmpty()) {
        FRtc->Client().LocalAudioFile = file;
        FRtc->Client().SetAudioSource(TWebRtcClientVcl::kAudioSourceFile);
    }
    FRtc->IceServers() = DefaultIceServers(IceServersFromEnvironment());
    return true;
}

void TAppCore::CreateControl() {
    FMessenger = std::make_unique<PeerMessenger>(*FRtc);
    FHostInput = std::make_unique<HostInput>(FPlatform.Injector, [] { return processState().LockScreenMode.load(); });
    FDispatcher = std::make_unique<DataChannelDispatcher>(*FRtc, *FMessenger, *FHostInput,
                                                          static_cast<IDispatcherEvents&>(*this));
    FViewer = std::make_unique<ViewerInput>(*FRtc, *FMessenger, static_cast<IViewerInputEvents&>(*this));
    FLiveness = std::make_unique<LivenessCheck>(*FRtc, *FMessenger, static_cast<ILivenessEvents&>(*this));
    FTabs = std::make_unique<TabController>(static_cast<ITabEvents&>(*this));
    FDemonstration = std::make_unique<DemonstrationMode>(*FSettings, *FMessenger);
    CreateTransfer();
    connect(FTimers->TimerDataTimeout, &QTimer::timeout, this, [this] { FLiveness->Tick(); });
    connect(FTimers->TimerMouseCursorCheck, &QTimer::timeout, this, &TAppCore::CursorCheckTick);
    if (FPlatform.HostCapture) {
        HostInput* input = FHostInput.get();
        FPlatform.HostCapture->Input().Attach(
            {[input] { input->ReplayDeferredInput(); }, [input] { return input->RelativeMouseMode(); }});
    }
}

void TAppCore::CreateTransfer() {
    TransferConfig config;
    config.ReceivedFilesFolder = QString::fromStdString(FEnv.Folders.received.string());
    config.Mode = &processState().TransferMode;
    FTransfer = std::make_unique<FileTransfer>(*FRtc, *FMessenger, static_cast<ITransferEvents&>(*this), config);
    // One-shot: the dispatcher only arms them, the work runs on their tick.
    const std::pair<QTimer*, void (FileTransfer::*)()> ticks[] = {
        {FTimers->TimerSelectDirectory, &FileTransfer::SelectDirectoryTick},
        {FTimers->TimerSelectDirsAndFiles, &FileTransfer::SelectDirsAndFilesTick},
        {FTimers->TimerTransferFormShow, &FileTransfer::TransferFormShowTick},
        {FTimers->TimerStartFileTransfer, &FileTransfer::StartFileTransferTick},
    };
    for (const auto& entry : ticks) {
        // A named copy, not a structured binding: the lambda outlives the
        // table, and GCC 12 may capture the binding's storage, not its value.
        void (FileTransfer::*tick)() = entry.second;
        entry.first->setSingleShot(true);
        connect(entry.first, &QTimer::timeout, this, [this, tick] { (FTransfer.get()->*tick)(); });
    }
}

void TAppCore::CreateCompanions() {
    HostCommandsPlatform platform{FPlatform.Injector,
                                  FPlatform.Shell,
                                  FPlatform.System ? *FPlatform.System : FNoSystem,
                                  FPlatform.Programs ? *FPlatform.Programs : FNoPrograms,
                                  FPlatform.Screenshots ? *FPlatform.Screenshots : FNoCapture,
                                  FPlatform.Clipboard ? *FPlatform.Clipboard : FNoClipboard};
    FHostCommands = std::make_unique<HostCommands>(
        platform, FEnv.Folders, *FRtc, *FMessenger, static_cast<IHostCommandEvents&>(*this),
        HostCommandTimers{*FTimers->TimerControlCommand, *FTimers->TimerMagnifierMinimizer,
                          *FTimers->TimerShowCannotProcessCtrlAltDelDialog});
    FClipboard = std::make_unique<ClipboardSharing>(platform.Clipboard, *FMessenger);
    FChat = std::make_unique<Chat>(*FRtc, *FMessenger, static_cast<IChatEvents&>(*this));
    FVoice = std::make_unique<Voice>(*FRtc, *FMessenger, *FSettings, static_cast<IVoiceEvents&>(*this),
                                     *FTimers->TimerShowNoSpeakDialog);
    connect(FTimers->TimerControlCommand, &QTimer::timeout, this, [this] { FHostCommands->ControlCommandTick(); });
    connect(FTimers->TimerMagnifierMinimizer, &QTimer::timeout, this,
            [this] { FHostCommands->MagnifierMinimizerTick(); });
    connect(FTimers->TimerShowCannotProcessCtrlAltDelDialog, &QTimer::timeout, this,
            [this] { FHostCommands->CannotCtrlAltDelTick(); });
    connect(FTimers->TimerShowNoSpeakDialog, &QTimer::timeout, this, [this] { FVoice->NoSpeakTick(); });
    FClipboard->Start();
}

void TAppCore::CreateSignalling() {
    SignallingConfig config;
    config.rootCertificateFile = InFolder(FEnv.Folders.program, programfiles::RootCertificate);
    config.deviceId = FSettings->DeviceId;
    FSignalling = std::make_unique<SignallingConnection>(config);
    FClientMessage = std::make_unique<ClientMessage>(static_cast<IClientMessageEvents&>(*this));
    connect(FSignalling.get(), &SignallingConnection::lineReceived, this, [this](const QByteArray& line) {
        // The reader thread waits until the line is handled: nothing in here
        // may wait for the user (see ShowMessage).
        const QScopedValueRollback handling(FHandlingNetworkMessage, true);
        (*FClientMessage)(line);
    });
}

void TAppCore::CreateSession() {
    SessionEnvironment values;
    values.settings = FSettings.get();
    values.rtc = FRtc.get();
    values.MacAddressText = FEnv.MacAddressText;
    FSession = std::make_unique<TSessionSetup>(values, static_cast<ISessionEnvironment&>(*this),
                                               static_cast<ISessionEvents&>(*this));
}

void TAppCore::CreateWebFeatures() {
    const QString folder = QString::fromStdString(FEnv.Folders.program.string());
    const QString root = InFolder(FEnv.Folders.program, programfiles::RootCertificate);
    update::UpdateConfig config{FEnv.WebSiteAddress, folder,         root,
                                FSettings->LanguageCode, FEnv.OwnVersion, FEnv.UpdateKeyPem};
    if (config.PublicKeyPem.empty()) config.PublicKeyPem = std::string(update::BuiltInUpdateKey());
    FUpdate = std::make_unique<update::TUpdate>(config, static_cast<update::IUpdateEvents&>(*this), this);
    FPrinterDownload = std::make_unique<TPrinterDriverDownload>(
        PrinterDownloadConfig{FEnv.WebSiteAddress, folder, root}, static_cast<IPrinterDownloadEvents&>(*this), this);
    // The answer arrives while the window already shows.
    if (!FEnv.WebSiteAddress.isEmpty()) FUpdate->StartCheck();
}

void TAppCore::CreateRelay() {
    FRelayWeb = std::make_unique<HttpRelayWebQueries>(FEnv.ToolsAddress,
                                                      InFolder(FEnv.Folders.program, programfiles::RootCertificate));
    RelayHostingPlatform platform{FPlatform.PortForwarding ? *FPlatform.PortForwarding : FNoRouter,
                                  FPlatform.RelayWeb ? *FPlatform.RelayWeb : *FRelayWeb,
                                  FPlatform.RelayProcesses ? *FPlatform.RelayProcesses : FRelayProcesses,
                                  FPlatform.RelayTimes ? *FPlatform.RelayTimes : FRelayTimes};
    RelayHostingConfig config;
    config.ProgramFolder = QString::fromStdString(FEnv.Folders.program.string());
    FRelay = std::make_unique<TRelayHosting>(config, platform, *FSettings, static_cast<IRelayHostingEvents&>(*this),
                                             *FTimers->TurnChecker, *FTimers->TimerTurnServerCPUUsageControl);
}

QString TAppCore::PasswordFigure() const {
    return FSettings->RandomPasswordMode ? FSettings->HostPassword : Bullet.repeated(FSettings->HostPassword.size());
}

void TAppCore::ApplyBranding() {
    QFile file(InFolder(FEnv.Folders.program, programfiles::Branding));
    if (!file.open(QIODevice::ReadOnly)) {
        // The normal, unbranded layout goes on.
        qCWarning(lcCore) << "branding file unreadable:" << file.fileName() << file.errorString();
        if (!processState().LockScreenMode)
            FView->ShowAppMessage(false, MessageKind::Error,
                                  file.errorString() + " " + "Error code: 3823. " + "Please contact developers.");
        return;
    }
    Branding branding;
    if (const std::optional<BrandingText> text = ReadBrandingText(file.readAll())) {
        branding.Contact = text->Contact;
        const QString banner = InFolder(FEnv.Folders.program, text->BannerName.toUtf8().constData());
        if (!text->BannerName.isEmpty() && QFileInfo(banner).isFile()) branding.BannerPath = banner;
    }
    FView->ApplyBranding(branding);
}

// ---- what the windows read ------------------------------------------------

bool TAppCore::ConnectedToSignalServer() const { return FSignalling && FSignalling->FConnectedToSignalServer(); }

int TAppCore::PeerCount() const { return FRtc ? FRtc->PeerCount() : 0; }

bool TAppCore::AutostartMarkerExists() const { return FCompanion->AutostartMarkerExists(); }

void TAppCore::WriteCredentials() {
    if (FEnv.CredentialsFile.isEmpty()) return;
    WriteCredentialsFile(FEnv.CredentialsFile, FSettings->DeviceId, FSettings->HostPassword);
}

// ---- what the windows forward ---------------------------------------------

void TAppCore::ConnectAction(bool fromHostPanel) {
    // While an update is on screen the host panel's button is the update's.
    if (fromHostPanel && FUpdate && FUpdate->MainButtonClick()) return;
    FLastInitAutomatic = false;
    FSession->ConnectAction(fromHostPanel);
}

void TAppCore::ReconnectButtonClick() {
    FLastInitAutomatic = false;
    FEndedByHost.clear();
    RunReconnectButton(false);
}

void TAppCore::RunReconnectButton(bool withoutSender) {
    ReconnectInput input;
    input.buttonCaption = FAliveStatus.buttonCaption;
    input.translatedConnectCaption = QString::fromLatin1(alive_texts::Connect);
    input.connectedToSignalServer = ConnectedToSignalServer();
    input.calledWithoutSender = withoutSender;
    input.relayRunning = RunningRelay().has_value();
    input.currentPeerExists = FRtc->FindPeer(FRtc->CurrentViewingPeerID()) != nullptr;
    switch (panReconnectButtonClick(input)) {
        case ReconnectAction::RunConnectButton: ConnectAction(false); break;
        case ReconnectAction::ShowServerUnavailable:
            FView->ShowAppMessage(true, MessageKind::Error, translate(alive_texts::ServerUnavailable));
            break;
        case ReconnectAction::SendInitToCurrentPeer: FSession->SendInitToCurrentPeer(); break;
        case ReconnectAction::SendGetPublicTurn: FSession->Reconnect(false); break;
        case ReconnectAction::Nothing: break;
    }
}

void TAppCore::ChooseMonitor(const QString& caption) {
    if (processState().EventsSuspended) return;
    auto peer = FRtc->FindPeer(FRtc->CurrentViewingPeerID());
    const auto monitor = MonitorFromCaption(caption);
    if (!peer || !monitor) return;
    // The host is not told: the next frame is drawn from the other region.
    peer->CurrentMonitor = *monitor;
    UpdateMonitorMenu();
}

void TAppCore::UpdateMonitorMenu() {
    if (processState().EventsSuspended) return;
    auto peer = FRtc->FindPeer(FRtc->CurrentViewingPeerID());
    if (!peer) return;
    FView->ShowMonitorItems(corvala::UpdateMonitorMenu(peer->MultipleMonitorsCount, peer->CurrentMonitor));
}

void TAppCore::AutomaticStartClick() { FCompanion->AutomaticStartClick(); }

bool TAppCore::RandomPasswordMode() const { return FSettings->RandomPasswordMode; }

void TAppCore::AllowOnlyViewingClick() {
    // The viewers hear it both ways: their input is refused, or taken again.
    FDemonstration->SetAllowOnlyViewing(!FSettings->AllowOnlyViewing, true);
    FView->UpdateWindowCaption();
}

void TAppCore::ChooseLanguage(int index) {
    // A forced update on screen keeps its language.
    if (ForcedUpdateShown()) return;
    translator().setLanguageIndex(index);
    FSettings->LanguageCode = translator().languageCode(index);
    FSettings->write();
    CloseVoiceWindow();
    FView->TranslateWindow();
}

bool TAppCore::SendReview(const TReview& review) {
    if (!review.Rated()) {
        FView->ShowAppMessage(true, MessageKind::Warning, translate("Please rate every point."));
        return false;
    }
    const TReviewRecord record(InFolder(FEnv.Folders.program, TReviewRecord::FileName));
    const bool first = record.FirstReview();
    // Refused here, never cut on the wire: the server would drop the line.
    if (const qsizetype excess = review.Excess(FSettings->DeviceId, first); excess > 0) {
        FView->ShowAppMessage(true, MessageKind::Warning,
                              Format(translate("The text is too long by %s characters."), QString::number(excess)));
        return false;
    }
    if (!ConnectedToSignalServer() || !FSignalling->WriteLine(review.Line(FSettings->DeviceId, first))) {
        FView->ShowAppMessage(true, MessageKind::Error,
                              translate("Unable to connect to server. Please try again in a minute."));
        return false;
    }
    if (!record.MarkSent()) qCWarning(lcCore) << "the review was sent but could not be noted as sent";
    FView->ShowAppMessage(true, MessageKind::Information, translate("Thank you for your feedback!"));
    return true;
}

void TAppCore::OpenWebAddress(const QString& address) { FCompanion->OpenWebAddress(address); }

// ---- from outside the program ---------------------------------------------

void TAppCore::HandleInstanceMessage(const platform::InstanceMessage& message) {
    if (message.message == platform::ConnectRequestMessage) {
        if (auto request = DecodeConnectRequest(QByteArray::fromStdString(message.payload)))
            ConnectFromCommandLine(*request);
        else
            qCWarning(lcCore) << "connect request from another copy dropped: it does not decode";
        return;
    }
    if (message.message == platform::PrintJobMessage) return PrintJobFrom(message);
    const auto& wanted = platform::ShowWindowMessage;
    if (message.message != wanted.message || message.wParam != wanted.wParam || message.lParam != wanted.lParam) {
        qCWarning(lcCore) << "instance message dropped:" << message.message << message.wParam << message.lParam;
        return;
    }
    if (!FView->WindowShowing()) FView->ShowWindow();
}

void TAppCore::PrintJobFrom(const platform::InstanceMessage& message) {
    // Another user of this computer must not make this one's files travel.
    if (!message.senderUid || (*message.senderUid != ::geteuid() && *message.senderUid != 0)) {
        qCWarning(lcCore) << "print job dropped: it came from another user"
                          << (message.senderUid ? int(*message.senderUid) : -1);
        return;
    }
    if (FTransfer) FTransfer->PrintJob();
}

void TAppCore::ConnectFromCommandLine(const ConnectRequest& request) {
    FLastInitAutomatic = false;
    if (FSession) FSession->ConnectFromCommandLine(request);
}

void TAppCore::HandleSessionChange(platform::SessionChange change) {
    // A lock enters lock-screen operation, a logon or unlock leaves it; each
    // change tells the viewers to reconnect and drops the running call so
    // that the next admission picks the fitting source.
    ProcessState& state = processState();
    if (state.MasterMode) return;
    const bool locking = change == platform::SessionChange::Locked;
    if (locking == state.LockScreenMode.load()) return;
    qCInfo(lcCore) << (locking ? "the session locked" : "the session unlocked");
    state.LockScreenMode = locking;
    if (!FRtc) return;
    SendToEveryPeer(QString::fromLatin1(commands::Reconnect));
    PumpMessages(CloseRecoveryPumpMs);
    FRtc->Deactivate();
    if (!locking) FView->CloseDesktopCopyWindow();
}

// ---- closing --------------------------------------------------------------

bool TAppCore::QueryClose() {
    if (!FSettings) return false;
    CloseQueryState query;
    query.EndingSession = FEndingSession;
    query.AutostartMarkerExists = AutostartMarkerExists();
    query.MasterMode = processState().MasterMode;
    query.ForcedUpdateShown = ForcedUpdateShown();
    query.PeersConnected = PeerCount() > 0;
    return corvala::QueryClose(query, *this);
}

void TAppCore::CloseSequence() {
    FClosing = true;
    FSettings->write();
    if (!FWakeTable.Save(WakeTablePath())) qCWarning(lcCore) << "could not write the Wake-on-LAN table";
    SendToEveryPeer(QString::fromLatin1(commands::Disconnect));
    // "DISCONNECT" leaves, and what is under way finishes, before the links go.
    PumpMessages(CloseRecoveryPumpMs);
    processState().EventsSuspended = true;
    if (FSignalling) FSignalling->StopChecker();
    if (FRtc) FRtc->Deactivate();
    if (FSignalling) FSignalling->CloseConnection();
    // The relay this program started or reused ends with it.
    if (FRelay) FRelay->Close();
}

void TAppCore::PumpMessages(int milliseconds) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void TAppCore::SendToEveryPeer(const QString& text) { FMessenger->SendMessageToEveryPeer(text); }

void TAppCore::CursorCheckTick() {
    CursorShapeMonitor::Conditions conditions;
    conditions.eventsSuspended = processState().EventsSuspended;
    conditions.masterMode = processState().MasterMode;
    conditions.allowOnlyViewing = FSettings->AllowOnlyViewing;
    conditions.anyPeer = FRtc->PeerCount() > 0;
    conditions.transferIdle = processState().TransferMode == TTransferMode::Idle;
    if (auto message = FCursorMonitor.Tick(conditions, FPlatform.CursorNames.CurrentCursorName()))
        FMessenger->SendDataToEveryPeer(*message);
}

// ---- the engine's events (engine threads) ----------------------------------

void TAppCore::rtcClientReceiveData(TPeer& sender, const QByteArray& data) {
    if (processState().EventsSuspended) return;
    // The peer may be ended while this thread waits: the main thread looks
    // it up again.
    const QString id = sender.Id();
    RunOnMainThread(this, [&] {
        // The engine's thread waits as the signalling reader does.
        const QScopedValueRollback handling(FHandlingNetworkMessage, true);
        if (processState().MasterMode && data == commands::Disconnect) FEndedByHost.insert(id);
        if (const auto peer = FRtc->FindPeer(id)) FDispatcher->Receive(*peer, data);
    });
}

void TAppCore::rtcClientRenderFrame(const QString& peerId) {
    if (processState().EventsSuspended) return;
    RunOnMainThread(this, [&] {
        if (processState().EventsSuspended || FRtc->CurrentViewingPeerID() != peerId) return;
        FView->DrawRemoteFrame();
        FLiveness->FrameDrawn();
        // The component marked the peer alive; the picture replaces the status.
        if (FAliveStatus.labelVisible || FAliveStatus.buttonVisible) UpdateAliveButton();
    });
}

void TAppCore::rtcClientSdpCreateSuccess(TPeer& peer, const QString& sdpType, const QString& sdp) {
    FSession->rtcClientSdpCreateSuccess(&peer, sdpType, sdp);
}

void TAppCore::rtcClientIceCandidate(TPeer& peer, int label, const QString& id, const QString& candidate) {
    FSession->rtcClientIceCandidate(&peer, label, id, candidate);
}

void TAppCore::rtcClientRemoveRemoteStream(const TPeer& peer) {
    // Every ended call comes here, the main thread's own EndCall and
    // deactivation too; those tidy up the rest themselves.
    const QString id = peer.Id();
    if (QThread::currentThread() == thread()) {
        FHostInput->ReleaseHeldInput(id);
        FTransfer->PeerEnded(id);
        return;
    }
    const bool reconnect = peer.NeedToReconnect;
    QMetaObject::invokeMethod(this, [this, id, reconnect] { PeerEndedByEngine(id, reconnect); }, Qt::QueuedConnection);
}

void TAppCore::PeerEndedByEngine(const QString& peerId, bool reconnectAnnounced) {
    qCInfo(lcCore) << "the connection to" << peerId << "ended";
    FHostInput->ReleaseHeldInput(peerId);
    FTransfer->PeerEnded(peerId);
    if (processState().EventsSuspended) return;
    if (!processState().MasterMode) {
        SessionsEnded(FRtc->PeerCount() == 0);
        return;
    }
    // A host that announced "RECONNECT" (its screen locked or unlocked) is
    // asked again at once, as the liveness check would after the stall; its
    // tab stays and waits for the new picture.
    if (reconnectAnnounced && peerId == FRtc->CurrentViewingPeerID() && FSession->SendInitToCurrentPeer())
        FReconnectingTo = peerId;
    // A host whose user ended the session is not asked again unasked.
    if (FEndedByHost.remove(peerId))
        qCInfo(lcCore) << peerId << "ended the session: its tab waits for the user";
    else if (FSession->HasTab(peerId))
        FRenewTimer.start();
    UpdateAliveButton();
}

void TAppCore::RenewTick() {
    const QString current = FRtc->CurrentViewingPeerID();
    if (processState().EventsSuspended || current.isEmpty() || !FSession->HasTab(current) || FRtc->FindPeer(current)) {
        FRenewTimer.stop();
        FLastInitAutomatic = false;
        return;
    }
    if (!ConnectedToSignalServer()) return;
    qCDebug(lcCore) << "asking" << current << "again for its lost connection";
    FLastInitAutomatic = true;
    FSession->SendInitToCurrentPeer();
}

void TAppCore::rtcClientError(const QString& error) { qCWarning(lcEngine) << "media engine:" << error; }

// ---- signalling dispatch ----------------------------------------------------

void TAppCore::SignallingInvalidId() {
    // A host only ever hears this about a viewer it answered that has gone
    // since; nobody at the host could do anything about it.
    if (!processState().MasterMode) {
        qCInfo(lcCore) << "a message of this host found its viewer gone (\"invalid_id\")";
        return;
    }
    if (FLastInitAutomatic) {
        qCDebug(lcCore) << "the host of the lost connection is not there yet (\"invalid_id\")";
        return;
    }
    ShowNonModalWarning(translate(QString::fromLatin1(InvalidIdWarning)));
}

void TAppCore::SignallingJoined() {
    FSignalling->SetJoined();
    // A `cr --connect` request waiting for the link asks its questions after
    // this line is handled, not while the reader waits.
    QMetaObject::invokeMethod(this, [this] { FSession->SignallingJoined(); }, Qt::QueuedConnection);
    // The own relay is set up again after every join (a setup still running
    // lets this one pass).
    if (!FTimers->TurnChecker->isActive()) FTimers->TurnChecker->start();
    FView->EnableConnectButton();
}

void TAppCore::ApplyIceServerFromPayload(const IceServer& relay, bool remember) {
    FSession->ApplyIceServerFromPayload(relay, remember);
}

void TAppCore::SendInitAfterPublicTurn(bool newConnection) { FSession->SendInitAfterPublicTurn(newConnection); }

void TAppCore::HandlePeerMessage(const QJsonObject& message) { FSession->HandlePeerMessage(message); }

// ---- session set-up's environment -------------------------------------------

bool TAppCore::SendLine(const QByteArray& line) { return FSignalling->WriteLine(line); }

bool TAppCore::SaveSettings() { return FSettings->write(); }

bool TAppCore::MasterMode() const { return processState().MasterMode; }

void TAppCore::SetMasterMode() { processState().MasterMode = true; }

bool TAppCore::LockScreenMode() const { return processState().LockScreenMode.load(); }

std::optional<OwnRelay> TAppCore::RunningRelay() const {
    if (!FRelay || !FRelay->RelayRunning()) return std::nullopt;
    return OwnRelay{FRelay->PublicIP(), FSettings->RelayPort, FSettings->RelayUserName, FSettings->RelayPassword};
}

QString TAppCore::CountryCode() const { return FRelay ? FRelay->CountryCode() : QString(); }

LocalScreens TAppCore::Screens() const { return ScreensFromQt(); }

// ---- session set-up's events --------------------------------------------------

void TAppCore::ShowMessage(bool modal, MessageKind kind, const QString& text) {
    if (!FHandlingNetworkMessage) {
        FView->ShowAppMessage(modal, kind, text);
        return;
    }
    // What a message from the network has to say is shown once it is
    // handled: a modal box would otherwise hold the signalling reader or the
    // engine's thread (and every other peer's messages) until somebody at
    // this computer answers.
    QMetaObject::invokeMethod(
        this, [this, modal, kind, text] { FView->ShowAppMessage(modal, kind, text); }, Qt::QueuedConnection);
}

void TAppCore::ShowWarning(const QString& text) { ShowMessage(true, MessageKind::Warning, text); }

void TAppCore::ShowNonModalWarning(const QString& text) { ShowMessage(false, MessageKind::Warning, text); }

void TAppCore::ShowError(const QString& text) { ShowMessage(true, MessageKind::Error, text); }

bool TAppCore::Confirm(const QString& text) {
    if (FHandlingNetworkMessage) {
        // Only the user's own actions ask questions; a network message never may.
        qCWarning(lcCore) << "question dropped while a message from the network was handled:" << text;
        return false;
    }
    return FView->ShowAppMessage(true, MessageKind::Confirm, text);
}

void TAppCore::LogConnection(const QString& text) {
    FConnectionLog.Insert(QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat) + ": " + text);
    FConnectionLog.Save(ConnectionLogPath);
}

void TAppCore::RefreshChatRecipients() { FView->ShowChatRecipients(FChat->Recipients(FView->ChatRecipient())); }

void TAppCore::ResetFrameWatch(const QString&) { FLiveness->FrameDrawn(); }

void TAppCore::DisconnectAllPeers() {
    processState().EventsSuspended = true;
    SendToEveryPeer(QString::fromLatin1(commands::Disconnect));
    PumpMessages(CloseRecoveryPumpMs);
    FRtc->Deactivate();
    PumpMessages(CloseRecoveryPumpMs);
    processState().EventsSuspended = false;
}

void TAppCore::SwitchToViewerLayout() { FView->SwitchToViewerLayout(); }

void TAppCore::CloseVoiceWindow() { FView->CloseVoiceWindow(); }

std::optional<ConnectionDialogResult> TAppCore::ShowConnectionDialog(const std::optional<ConnectRequest>& confirmWith) {
    return FView->ShowConnectionDialog(confirmWith);
}

void TAppCore::UpdateAliveButton() {
    AliveButtonInput input;
    input.anyPeers = FRtc->PeerCount() > 0;
    const QString current = FRtc->CurrentViewingPeerID();
    if (auto peer = FRtc->FindPeer(current)) {
        if (FReconnectingTo == current) FReconnectingTo.clear();
        input.currentPeerExists = true;
        input.needToReconnect = peer->NeedToReconnect;
        input.alive = peer->Alive;
    } else if (!current.isEmpty() && FSession->HasTab(current)) {
        // The engine ended the tab's connection: lost, or being renewed.
        input.anyPeers = true;
        input.currentPeerExists = true;
        input.needToReconnect = FReconnectingTo == current;
        input.alive = false;
    }
    const AliveButtonView view = corvala::UpdateAliveButton(input);
    if (!view.changes) return;
    FAliveStatus.Apply(view);
    FView->ShowAliveStatus(view);
}

void TAppCore::AddTab(const QString& caption, const QString& id) {
    FView->AddTab(caption, id);
    // Selecting the new tab ran the change query; the session's own peer wins
    // should the caption hold no ID.
    FRtc->SetCurrentViewingPeerID(id);
    FView->UpdateWindowCaption();
}

void TAppCore::SelectTab(const QString& id) {
    if (!FView->SelectTab(id)) FRtc->SetCurrentViewingPeerID(id);
}

void TAppCore::ClearPressedKeys() { FViewer->ClearPressedKeys(); }

void TAppCore::UpdateMonitorMenu(const QString&) { UpdateMonitorMenu(); }

void TAppCore::RememberWakeOnLan(const QString& id, const QString& macAddress) { FWakeTable.Learn(id, macAddress); }

QString TAppCore::WakeTablePath() const { return InFolder(FEnv.Folders.program, programfiles::WakeTable); }

QString TAppCore::AddressBookPath() const { return InFolder(FEnv.Folders.program, programfiles::AddressBook); }

void TAppCore::OpenVoiceWindow(const QString&) { FVoice->Open(); }

unsigned long TAppCore::ShowDesktopCopyWindow() {
    FHostInput->ClearReplayTables();
    const MonitorRect desktop = Screens().Desktop();
    return FView->ShowDesktopCopyWindow(desktop.width, desktop.height);
}

void TAppCore::ShowWindowForSession() {
    if (FView->WindowShowing()) return;
    processState().ShownForSession = true;
    FView->ShowWindow();
}

void TAppCore::ClearBookUnlocked() {
    // A viewer just admitted must never find the book open: the next showing
    // asks for its password whatever the file looks like.
    FBookState.BookUnlocked = false;
    FBookState.BookDigest.clear();
}

void TAppCore::CollapseForSession() { FView->CollapseForSession(); }

bool TAppCore::VoiceWindowShowing() const { return FView->VoiceWindowShowing(); }

// Only a mobile viewer's admission drives it here: started minimised, or
// ended when the host is on its lock screen.
void TAppCore::DriveMagnifier(bool start) { FHostCommands->DriveMagnifier(start, start); }

void TAppCore::DisableAutostart() { FCompanion->SetAutomaticStart(false); }

// ---- the dispatcher's events --------------------------------------------------

bool TAppCore::AllowOnlyViewing() const { return FSettings->AllowOnlyViewing; }

void TAppCore::OpenDocsDir(TPeer& sender) { FTransfer->OpenDocsDir(sender); }

void TAppCore::ArmNoSpeakDialog(bool demonstration) { FVoice->ArmNoSpeakDialog(demonstration); }

void TAppCore::ArmCannotCtrlAltDelDialog() { FHostCommands->ArmCannotCtrlAltDelDialog(); }

void TAppCore::CommandNotAvailable(TPeer&, int n) { FHostCommands->ShowNotAvailable(n); }

void TAppCore::ShowChatLine(TPeer& sender, const QString& text) { FChat->Receive(sender, text); }

void TAppCore::SetClipboardText(TPeer& sender, const QString& text) { FClipboard->Receive(sender.FId, text); }

void TAppCore::ArmControlCommand(TPeer&, int n) { FHostCommands->Arm(n); }

bool TAppCore::HandleFileTransfer(TPeer& sender, const QString& text, const QByteArray& raw) {
    return FTransfer->HandleMessage(sender, text, raw);
}

void TAppCore::SetRemoteCursor(Qt::CursorShape shape) { FView->SetRemoteCursor(shape); }

// ---- the liveness check's events ----------------------------------------------

void TAppCore::TransferTimeoutTick() { FTransfer->TimeoutTick(); }

void TAppCore::SessionsEnded(bool noPeerLeft) {
    FView->UpdateWindowCaption();
    RefreshChatRecipients();
    if (!noPeerLeft) return;
    FView->CloseChatWindow();
    FView->ExpandAfterSessions();
    if (processState().ShownForSession) {
        processState().ShownForSession = false;
        FView->HideWindow();
    }
    FRtc->Deactivate();
}

bool TAppCore::ReconnectButtonVisible() const { return FAliveStatus.buttonVisible; }

void TAppCore::Reconnect() {
    // The liveness check presses the button itself, captioned "Reconnect".
    FAliveStatus.buttonCaption = QString::fromLatin1(alive_texts::Reconnect);
    RunReconnectButton(true);
}

// ---- the viewer input's events --------------------------------------------------

bool TAppCore::TabActive() const { return !FRtc->CurrentViewingPeerID().isEmpty(); }

void TAppCore::ShowDemonstrationMessage() {
    FView->ShowAppMessage(true, MessageKind::Information, translate(control_texts::DemonstrationRejects));
}

void TAppCore::InjectLocalEscape() {
    // Down and up: a key left down on this desktop would stay pressed.
    FPlatform.Injector.InjectVirtualKey(vk::Escape, false, false);
    FPlatform.Injector.InjectVirtualKey(vk::Escape, true, false);
}

// ---- the tabs' events ------------------------------------------------------------

QString TAppCore::CurrentViewingPeerID() const { return FRtc->CurrentViewingPeerID(); }

void TAppCore::SetCurrentViewingPeerID(const QString& id) { FRtc->SetCurrentViewingPeerID(id); }

void TAppCore::ResetFrameWatch() { FLiveness->FrameDrawn(); }

void TAppCore::SendMessageToPeer(const QString& id, const QString& text) { FMessenger->SendMessageToPeer(id, text); }

void TAppCore::EndCall(const QString& id) {
    FRtc->EndCall(id);
    FSession->TabClosed(id);
    if (FReconnectingTo == id) FReconnectingTo.clear();
}

void TAppCore::HideToolbar() { FView->HideToolbar(); }

// ---- the file transfer's events ---------------------------------------------------

void TAppCore::ArmTimer(TransferTimer timer) {
    switch (timer) {
        case TransferTimer::SelectDirectory: FTimers->TimerSelectDirectory->start(); break;
        case TransferTimer::SelectDirsAndFiles: FTimers->TimerSelectDirsAndFiles->start(); break;
        case TransferTimer::TransferFormShow: FTimers->TimerTransferFormShow->start(); break;
        case TransferTimer::StartFileTransfer: FTimers->TimerStartFileTransfer->start(); break;
    }
}

std::optional<QStringList> TAppCore::ChooseFilesAndFolders() { return FView->ChooseFilesAndFolders(); }

std::optional<QString> TAppCore::ChooseDestinationFolder(const QString& current) {
    return FView->ChooseDestinationFolder(current);
}

void TAppCore::SetBusyCursor(bool busy) { FView->SetBusyCursor(busy); }

void TAppCore::ShowTransferWindow(bool modal) { FView->ShowTransferWindow(modal); }

bool TAppCore::TransferWindowShowing() const { return FView->TransferWindowShowing(); }

void TAppCore::ShowTransferState(const transfer::TransferWindowState& state) { FView->ShowTransferState(state); }

void TAppCore::CloseTransferWindow() { FView->CloseTransferWindow(); }

void TAppCore::ShowTransferMessage(MessageKind kind, const QString& text) { ShowMessage(true, kind, text); }

void TAppCore::OpenFolder(const QString& path) { FCompanion->OpenFolder(path); }

void TAppCore::CallEndedByTransfer() { SessionsEnded(FRtc->PeerCount() == 0); }

// ---- chat, voice, clipboard and host commands ---------------------------------------

void TAppCore::OpenChat(bool clearMessageLine) {
    if (processState().TransferMode != TTransferMode::Idle) return;
    FView->ShowChatWindow(clearMessageLine);
    RefreshChatRecipients();
}

bool TAppCore::SendChatLine(const QString& recipient, const QString& line) { return FChat->Send(recipient, line); }

void TAppCore::Speak1Click() { FVoice->Open(); }

void TAppCore::VoiceWindowClosed() { FVoice->WindowClosed(); }

void TAppCore::CopyIdentity(bool password) {
    FClipboard->CopyLocally(password ? FSettings->HostPassword : FSettings->DeviceId);
}

void TAppCore::SendFileToViewer(const QString& path, const QString& peerId) { FTransfer->OfferFile(path, peerId); }

void TAppCore::SendControlCommand(int n) {
    // The screenshot comes back as a file the host offers.
    if (n == ControlMakeScreenshot) FTransfer->ExpectOffer(FRtc->CurrentViewingPeerID());
    FViewer->SendControlCommand(n);
}

void TAppCore::ShowNotice(const QString& text) { ShowMessage(true, MessageKind::Warning, text); }

void TAppCore::ShowChatWindow() {
    if (FView->ChatWindowShowing()) return;
    FView->ShowChatWindow(false);
    RefreshChatRecipients();
}

void TAppCore::AppendChatLine(const ChatLine& line) { FView->AppendChatLine(line); }

void TAppCore::ShowVoiceWindow(const QString& caption) { FView->ShowVoiceWindow(caption); }

// ---- the update and the printer driver's download ------------------------------------

void TAppCore::ShowUpdateTool(const QString& hint) { FView->ShowUpdateTool(hint); }

void TAppCore::ShowUpdateNotice(const QString& heading, bool offer) { FView->ShowUpdateNotice(heading, offer); }

void TAppCore::SetUpdateButton(const char* englishKey) { FView->SetUpdateButton(englishKey); }

void TAppCore::SetUpdateProgress(int percent) { FView->SetUpdateProgress(percent); }

bool TAppCore::EventsSuspended() const { return processState().EventsSuspended; }

void TAppCore::ShowUpdateWarning(const QString& text) { ShowMessage(true, MessageKind::Warning, text); }

void TAppCore::EndRelayProcesses() {
    // The relay this copy runs (its watchdog and announcement with it), then
    // any left from earlier runs of the program in this folder.
    if (FRelay) FRelay->Close();
    if (!FPlatform.Processes) return;
    const int ended = FPlatform.Processes->TerminateProcessesNamed(programfiles::RelayServer, FEnv.Folders.program);
    if (ended > 0) qCInfo(lcCore) << "ended" << ended << "relay process(es) before the update";
}

bool TAppCore::StartProgram(const QString& path, const QString& parameters) {
    return platform::ShellSucceeded(FPlatform.Shell.Execute("open", path.toStdString(), parameters.toStdString()));
}

void TAppCore::CloseForUpdate() {
    // The new copy takes over: closing asks nothing.
    FEndingSession = true;
    FView->CloseMainWindow();
}

bool TAppCore::ConfirmPrinterDownload(const QString& text) { return Confirm(text); }

void TAppCore::ShowPrinterDownload(const QString& caption, const QString& status) {
    FView->ShowPrinterDownload(caption, status);
}

void TAppCore::SetPrinterProgress(int percent) { FView->SetPrinterProgress(percent); }

void TAppCore::ClosePrinterDownload() { FView->ClosePrinterDownload(); }

void TAppCore::ShowPrinterError(const QString& text) { ShowMessage(true, MessageKind::Error, text); }

void TAppCore::OpenFile(const QString& path) { FPlatform.Shell.Execute("open", path.toStdString(), ""); }

// ---- the own relay ------------------------------------------------------------------

bool TAppCore::SendRelayMessage(const QString& msg, const QString& payload) {
    return FSignalling && FSignalling->WriteLine(GetMessage(FSettings->DeviceId, msg, {}, {}, payload));
}

void TAppCore::AddOwnIceServer(const QString& url, const QString& userName, const QString& password) {
    TIceServers& servers = FRtc->IceServers();
    for (const TIceServer& server : servers)
        if (server.Url == url) return;
    servers.append(TIceServer{url, userName, password});
}

void TAppCore::ShowRelaySetupRunning(bool running) { FView->ShowRelaySetupRunning(running); }

}  // namespace corvala
