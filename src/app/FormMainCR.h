#pragma once
// The main window: the program's hub. It owns the settings, the signalling
// client, the peer-connection component, the timers and the tray icon, and
// runs the creation, close and destruction sequences of the program.

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/CommandLineSwitches.h"
#include "features/ConnectionLog.h"
#include "platform/Folders.h"
#include "platform/InstanceChannel.h"
#include "platform/SessionMonitor.h"
#include "platform/Shell.h"
#include "settings/Settings.h"
#include "signalling/ClientMessage.h"

class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QSystemTrayIcon;
class QActionGroup;

namespace corvala {

class TWebRtcClientVcl;
class TCaptionBar;
class TCaptionButton;
class TToolImage;
class TActivityIndicator;
class SignallingConnection;
class TSessionSetup;
class TWebRtcClientPort;
class TFormAddConnection;
class TRemoteScreenView;
class TRemoteControl;
class TTabStrip;
class TViewerToolbar;
class TFullScreenMenu;
class TBorderShape;
class TabController;
enum class BorderControl;
class TDesktopCopyForm;
class THostCapture;

// What start-up hands to the main window.
struct MainWindowEnvironment {
    platform::ProgramFolders Folders;
    QString MacAddressText;
    QString MachineFingerprint;
    CommandLineSwitches Switches;
    platform::IShell* Shell = nullptr;
    platform::ISessionMonitor* SessionMonitor = nullptr;
    // The capture thread start-up started; none when it could not start.
    THostCapture* HostCapture = nullptr;
    QString SupportContact;
    QString WebSiteAddress;
    QString ToolsAddress;
};

// A timer with the numeric tag the handlers use as a busy mark or argument.
class TTimer : public QTimer {
    Q_OBJECT
public:
    TTimer(QObject* parent, int interval, const char* name) : QTimer(parent) {
        setInterval(interval);
        setObjectName(name);
    }
    int Tag = 0;
};

class TFormMainCR : public QWidget {
    Q_OBJECT
public:
    explicit TFormMainCR(MainWindowEnvironment environment, QWidget* parent = nullptr);
    ~TFormMainCR() override;

    // Runs the creation steps. False when the program must end (the welcome
    // refused, the integrity test failed, the media engine missing);
    // EventsSuspended is then set.
    bool Create();

    // A message from another copy of the program.
    void HandleInstanceMessage(const platform::InstanceMessage& message);
    // `cr --connect`: the connection dialog pre-filled and confirmed once
    // the signalling server is joined.
    void ConnectFromCommandLine(const QString& id, const QString& password);

    // A change of the desktop session (lock, unlock, logon).
    void HandleSessionChange(platform::SessionChange change);
    TDesktopCopyForm* DesktopCopyForm() const { return FDesktopCopyForm.get(); }

    // The desktop session ends (logout, shutdown): close without asking.
    void EndSession();

    Settings& AppSettings() { return *FSettings; }
    TWebRtcClientVcl* RtcClient() const { return rtcClient.get(); }
    SignallingConnection* Signalling() const { return cliSignal.get(); }
    bool ConnectedToSignalServer() const;

    // The remote-screen status controls of the current peer.
    void UpdateAliveButton();
    void panReconnectButtonClick();

    // Menu actions by their English key, for tests and translation.
    QAction* MenuAction(const QString& englishKey) const;

    // Window modes (FormMainCRLayout.cpp).
    // The one-way switch to the viewer layout, once MasterMode is set (the
    // connect action asks its questions before).
    void SwitchToViewerLayout();
    // Applies the current layout: the viewer's bounds (work area when
    // maximised), or the host's expanded or collapsed height.
    void SetWindowPositions();
    // The caption text and the info/contact buttons from the peer count.
    void UpdateWindowCaption();
    bool Maximized() const;
    bool Collapsed() const { return FCollapsed; }
    bool FullScreen() const { return FFullScreen; }
    TTabStrip* Tabs() const { return ATTabs1; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Creation steps, in order.
    void CreateTimers();
    void CreateControls();
    void BuildMenus();
    void BuildLanguageMenu();
    void TranslateWindow();
    bool PassesIntegrityTest();
    void ApplyBranding();
    void PaintTheme();
    void SizeToHostPanel();
    void ShowPasswordFigure();
    void CreateTrayIcon();

    // Controls.
    void HideToTrayClick();
    void ChooseLanguage(int index);
    void TickLanguage(int index);
    void AutomaticStartClick();
    void AllowOnlyViewingClick();
    void OpenWebAddress(const QString& address);
    void SetAutomaticStart(bool on);
    void ShowFromTray();
    void UpdateCaption();
    void UpdateConnectButton();

    // Signalling and session set-up.
    void CreateSignalling();
    void CreateSession();
    void ClientMessageJoined();
    void AddConnectionLogLine(const QString& text);
    // Engine threads hand data and frames over and wait until handled.
    void rtcClientReceiveData(const QString& peerId, const QByteArray& data);
    void rtcClientRenderFrame(const QString& peerId);

    // Window modes (FormMainCRLayout.cpp).
    void CreateViewerControls();
    void TranslateViewerControls();
    void AddTab(const QString& caption, const QString& id);
    void SelectTab(const QString& id);
    void ATTabs1CloseRequested(int index);
    void MaximizeClick();
    void FullScreenClick();
    void ExitFullScreenClick();
    void CollapseClick();
    void CollapseForSession();
    void ExpandAfterSessions();
    void MoveWindowTo(QPoint wantedTopLeft, bool byTabStrip);
    void BorderPressed(QPoint global);
    void BorderMoved(BorderControl control, QPoint global);
    void StoreMasterModeWindowRect();
    void PlaceBorderControls();
    void UpdateMonitorMenu();
    void MIMonitor1Click(const QString& caption);
    void RevealFullScreenMenu(int y);
    void ShowBorderControls(bool visible);

    // Timers' handlers; the work of later subsystems joins them.
    void TimerActivityAnimationTimer();

    // The close sequence after the close query accepted.
    void CloseSequence();
    void SendToEveryPeer(const QString& text);
    bool AnyPeerConnected() const;
    bool AutostartMarkerExists() const;
    void PumpMessages(int milliseconds);

    MainWindowEnvironment FEnv;
    std::unique_ptr<Settings> FSettings;
    std::unique_ptr<TWebRtcClientVcl> rtcClient;
    std::unique_ptr<SignallingConnection> cliSignal;
    std::unique_ptr<ClientMessage> FClientMessage;
    std::unique_ptr<TWebRtcClientPort> FRtcPort;
    std::unique_ptr<TSessionSetup> FSession;
    TRemoteControl* FRemote = nullptr;
    std::unique_ptr<TDesktopCopyForm> FDesktopCopyForm;
    TFormAddConnection* frmAddConnection = nullptr;
    ConnectionLog FConnectionLog;
    QString ConnectionLogPath;
    bool EndingSession = false;
    bool FClosing = false;
    bool FTrayBalloonShown = false;
    QString strBrandedContact;

    // Timers (the signalling client owns ServerConnectionChecker).
    TTimer* TimerDataTimeout;
    TTimer* TimerMouseCursorCheck;
    TTimer* TimerActivityAnimation;
    TTimer* TimerCopyImagehider;
    TTimer* TimerControlCommand;
    TTimer* TimerShowNoSpeakDialog;
    TTimer* TimerShowCannotProcessCtrlAltDelDialog;
    TTimer* TimerMagnifierMinimizer;
    TTimer* TimerSelectDirectory;
    TTimer* TimerSelectDirsAndFiles;
    TTimer* TimerTransferFormShow;
    TTimer* TimerStartFileTransfer;
    TTimer* TurnChecker;
    TTimer* TimerTurnServerCPUUsageControl;

    // Controls.
    TCaptionBar* panCaption = nullptr;
    QLabel* lblCaption = nullptr;
    TToolImage* imgSettings = nullptr;
    TToolImage* imgHelp = nullptr;
    TCaptionButton* btnHideToTray = nullptr;
    TCaptionButton* btnMinimize = nullptr;
    TCaptionButton* btnClose = nullptr;
    QWidget* panHost = nullptr;
    QLabel* lblHeading = nullptr;
    QLabel* lblYourId = nullptr;
    QLabel* lblId = nullptr;
    QLabel* lblPasswordCaption = nullptr;
    QLabel* lblPassword = nullptr;
    QWidget* shpSeparator = nullptr;
    QLabel* lblConnectLine = nullptr;
    QPushButton* btnConnect = nullptr;
    TActivityIndicator* shpActivity = nullptr;
    QLabel* lblContactCaption = nullptr;
    QLabel* lblContact = nullptr;
    QWidget* panRemoteScreens = nullptr;
    TRemoteScreenView* imgRemoteScreen = nullptr;
    QLabel* lblLostConnectionInfo = nullptr;
    QPushButton* panReconnectButton = nullptr;
    QMenu* mnuSettings = nullptr;
    QMenu* mnuHelp = nullptr;
    QMenu* mnuLanguage = nullptr;
    QActionGroup* FLanguageGroup = nullptr;
    QSystemTrayIcon* FTrayIcon = nullptr;
    QMenu* mnuTray = nullptr;
    QAction* actTrayOpen = nullptr;
    QAction* actTrayExit = nullptr;

    // Window modes.
    TCaptionButton* btnCollapse = nullptr;
    TCaptionButton* btnMaximize = nullptr;
    TCaptionButton* btnFullScreen = nullptr;
    TCaptionButton* panButtonInfo = nullptr;
    TCaptionButton* panButtonContact = nullptr;
    TTabStrip* ATTabs1 = nullptr;
    TViewerToolbar* pnlToolbar = nullptr;
    TFullScreenMenu* panFullScreenMenu = nullptr;
    QList<TBorderShape*> FBorderControls;
    std::unique_ptr<TabController> FTabs;
    bool FCollapsed = false;
    bool FFullScreen = false;
    int CaptionPeerCount = 0;
    QPoint BordersMouseDownPos;
    QRect FBoundsAtPress;
};

}  // namespace corvala
