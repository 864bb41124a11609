#pragma once
// The main window: the host panel, the viewer's tabs and remote picture, the
// caption bar with its menus, and the tray icon. It shows what the core tells
// it through IAppView and forwards the user's actions to the core; it makes
// no session, control or engine object of its own.

#include <QTimer>
#include <QWidget>
#include <memory>

#include "core/AppView.h"

class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QSystemTrayIcon;
class QActionGroup;
class QProgressBar;

namespace corvala {

class TAppCore;
class TCaptionBar;
class TCaptionButton;
class TToolImage;
class TActivityIndicator;
class TFormAddConnection;
class TRemoteScreenView;
class TRemoteInputFilter;
class TTabStrip;
class TViewerToolbar;
class TFullScreenMenu;
class TBorderShape;
enum class BorderControl;
class TDesktopCopyForm;
class TDesktopCopyPicture;
class TMainBanner;
class TFormFileChoose;
class TFormDirChoose;
class TFormFileTransfer;
class TFormChat;
class TFormSpeak;
class TCopyIcon;
class TfrmVelmoraPrinterDownload;
class TFormConnectionsLog;

// What main.cpp hands to the main window besides the core.
struct MainWindowEnvironment {
    QString WebSiteAddress;
    // The capture thread's picture for the desktop copy window; none when
    // the thread could not start.
    TDesktopCopyPicture* DesktopCopyPicture = nullptr;
};

class TFormMainCR : public QWidget, public IAppView {
    Q_OBJECT
public:
    TFormMainCR(TAppCore& core, MainWindowEnvironment environment, QWidget* parent = nullptr);
    ~TFormMainCR() override;

    TAppCore& Core() { return FCore; }
    TDesktopCopyForm* DesktopCopyForm() const { return FDesktopCopyForm.get(); }

    // The desktop session ends (logout, shutdown): close without asking, and
    // end the program even while a message box is open.
    void EndSession();

    // Menu actions by their English key, for tests and translation.
    QAction* MenuAction(const QString& englishKey) const;

    // IAppView.
    bool AskWelcome() override;
    void TranslateWindow() override;
    void ShowIdentity(const QString& deviceId, const QString& passwordFigure) override;
    void ApplyBranding(const Branding& branding) override;
    void ShowHostLayout() override;
    bool ShowAppMessage(bool modal, MessageKind kind, const QString& text) override;
    bool WindowShowing() const override { return isVisible(); }
    void ShowWindow() override { ShowFromTray(); }
    void HideWindow() override { hide(); }
    // The caption text and the info/contact buttons from the peer count.
    void UpdateWindowCaption() override;
    void EnableConnectButton() override;
    void ShowRelaySetupRunning(bool running) override;
    // The one-way switch to the viewer layout, once MasterMode is set (the
    // connect action asks its questions before).
    void SwitchToViewerLayout() override;
    void CollapseForSession() override;
    void ExpandAfterSessions() override;
    std::optional<ConnectionDialogResult> ShowConnectionDialog(
        const std::optional<ConnectRequest>& confirmWith) override;
    void AddTab(const QString& caption, const QString& id) override;
    bool SelectTab(const QString& id) override;
    void HideToolbar() override;
    void ShowMonitorItems(const std::array<MonitorMenuItem, MonitorMenuItems>& items) override;
    void DrawRemoteFrame() override;
    void ShowAliveStatus(const AliveButtonView& status) override;
    void SetRemoteCursor(Qt::CursorShape shape) override;
    unsigned long ShowDesktopCopyWindow(int desktopWidth, int desktopHeight) override;
    void CloseDesktopCopyWindow() override;
    // File transfer (FormMainCRTransfer.cpp).
    std::optional<QStringList> ChooseFilesAndFolders() override;
    std::optional<QString> ChooseDestinationFolder(const QString& current) override;
    void SetBusyCursor(bool busy) override;
    void ShowTransferWindow(bool modal) override;
    bool TransferWindowShowing() const override;
    void ShowTransferState(const transfer::TransferWindowState& state) override;
    void CloseTransferWindow() override;

    // Chat and voice (FormMainCRCompanions.cpp).
    bool ChatWindowShowing() const override;
    void ShowChatWindow(bool clearMessageLine) override;
    void CloseChatWindow() override;
    void AppendChatLine(const ChatLine& line) override;
    void ShowChatRecipients(const ChatRecipients& recipients) override;
    QString ChatRecipient() const override;
    bool VoiceWindowShowing() const override;
    void ShowVoiceWindow(const QString& caption) override;
    void CloseVoiceWindow() override;

    // The update and the printer driver's download (FormMainCRUpdate.cpp).
    void ShowUpdateTool(const QString& hint) override;
    void ShowUpdateNotice(const QString& heading, bool offer) override;
    void SetUpdateButton(const char* englishKey) override;
    void SetUpdateProgress(int percent) override;
    void CloseMainWindow() override;
    void ShowPrinterDownload(const QString& caption, const QString& status) override;
    void SetPrinterProgress(int percent) override;
    void ClosePrinterDownload() override;
    // The download window, made when first needed.
    TfrmVelmoraPrinterDownload* PrinterDownloadWindow();
    // Credentials, the connection log and the live connections
    // (FormMainCRConnections.cpp).
    std::optional<HostPasswordAnswer> AskHostPassword(const HostPasswordFill& fill) override;
    std::optional<WhiteListAnswer> AskWhiteList(const WhiteListAnswer& current) override;
    std::optional<QString> AskDisplayName(const QString& current) override;
    void ShowConnectionLog(const QStringList& lines, bool peersConnected) override;
    void ShowConnections(const QStringList& lines) override;

    TFormChat* ChatForm() const { return frmChat; }
    TFormSpeak* SpeakForm() const { return frmSpeak; }

    // Window modes (FormMainCRLayout.cpp).
    // Applies the current layout: the viewer's bounds (work area when
    // maximised), or the host's expanded or collapsed height.
    void SetWindowPositions();
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
    // Construction and the window's creation steps.
    void CreateControls();
    void BuildMenus();
    void BuildLanguageMenu();
    void PaintTheme();
    void SizeToHostPanel();
    void CreateTrayIcon();
    // The help menu's windows, modal.
    void ShowAboutWindow();
    void ShowReviewWindow();

    // Controls.
    void HideToTrayClick();
    // The branded contact text: copied to the clipboard, with a hint.
    void ContactClick();
    // The status label and button over the remote area, centred.
    void PlaceAliveControls();
    void ChooseLanguage(int index);
    void TickLanguage(int index);
    void ShowFromTray();
    void UpdateCaption();

    // Window modes (FormMainCRLayout.cpp).
    void CreateViewerControls();
    void TranslateViewerControls();
    void ATTabs1CloseRequested(int index);
    void MaximizeClick();
    void FullScreenClick();
    void ExitFullScreenClick();
    void CollapseClick();
    void MoveWindowTo(QPoint wantedTopLeft, bool byTabStrip);
    void BorderPressed(QPoint global);
    void BorderMoved(BorderControl control, QPoint global);
    void StoreMasterModeWindowRect();
    void PlaceBorderControls();
    void RevealFullScreenMenu(int y);
    void ShowBorderControls(bool visible);

    // File transfer (FormMainCRTransfer.cpp): the toolbar's items, the
    // transfer window (made when first needed).
    void ConnectTransferItems();
    TFormFileTransfer* TransferWindow();
    // Chat, voice, the host's contact menu and the copy icon
    // (FormMainCRCompanions.cpp).
    void CreateCompanionWindows();
    void TranslateCompanionWindows();
    // The settings and help menus' credential and log items, the caption's
    // information button (FormMainCRConnections.cpp).
    void ConnectConnectionItems();
    // Where the chat and voice windows go: the window's frame, the bottom of
    // its caption and top strip, and its client width.
    QRect CompanionPlacement(int& captionBottom) const;
    // The host panel's progress bar of the update (FormMainCRUpdate.cpp).
    void CreateUpdateControls();
    // The contacts book and Wake-on-LAN (FormMainCRContacts.cpp): the menu's
    // "Contacts List...", and the connection dialog's book button and
    // "Wake Up PC && Connect...".
    void ConnectContactsHooks();
    void ContactsListClick();

    TAppCore& FCore;
    MainWindowEnvironment FEnv;
    std::unique_ptr<TDesktopCopyForm> FDesktopCopyForm;
    TFormAddConnection* frmAddConnection = nullptr;
    // The transfer's windows, made when first needed.
    TFormFileChoose* frmFileChoose = nullptr;
    TFormDirChoose* frmDirChoose = nullptr;
    TFormFileTransfer* frmFileTransfer = nullptr;
    bool FBusyCursor = false;
    TRemoteInputFilter* FRemoteInput = nullptr;
    bool FMenusBuilt = false;
    bool FTrayBalloonShown = false;
    QString strBrandedContact;

    // The window's own timer; the core keeps the others.
    QTimer* TimerActivityAnimation;

    // Controls.
    TCaptionBar* panCaption = nullptr;
    QLabel* lblCaption = nullptr;
    TToolImage* imgSettings = nullptr;
    TToolImage* imgHelp = nullptr;
    TCaptionButton* btnHideToTray = nullptr;
    TCaptionButton* btnMinimize = nullptr;
    TCaptionButton* btnClose = nullptr;
    QWidget* panHost = nullptr;
    TMainBanner* imgBanner = nullptr;
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
    QLabel* lblCopiedHint = nullptr;
    QTimer* FCopiedHintTimer = nullptr;
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
    bool FCollapsed = false;
    bool FFullScreen = false;
    int CaptionPeerCount = 0;
    QPoint BordersMouseDownPos;
    QRect FBoundsAtPress;

    // Chat and voice.
    TFormChat* frmChat = nullptr;
    TFormSpeak* frmSpeak = nullptr;
    QMenu* mnuContact = nullptr;
    TCopyIcon* ImageCopy = nullptr;

    // The update and the printer driver's download.
    QWidget* imgUpdate = nullptr;
    QProgressBar* pbUpdate = nullptr;
    TfrmVelmoraPrinterDownload* frmVelmoraPrinterDownload = nullptr;
    // The connection log while it is open: its "Clear" follows the peers.
    TFormConnectionsLog* frmConnectionsLog = nullptr;
};

}  // namespace corvala
