#include "app/FormMainCR.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QDateTime>
#include <QHostInfo>
#include <QLocale>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "app/CloseQuery.h"
#include "app/DesktopCopyForm.h"
#include "app/FormMessage.h"
#include "app/FormWelcome.h"
#include "app/IceServerDefaults.h"
#include "app/PayloadIntegrity.h"
#include "app/ProcessState.h"
#include "app/ProductInfo.h"
#include "app/StartupSequence.h"
#include "app/WindowChrome.h"
#include "i18n/SystemLanguage.h"
#include "i18n/Translator.h"
#include "i18n/WindowTexts.h"
#include "identity/RandomCredentials.h"
#include "media/MediaLibraryLoader.h"
#include "media/RTCUtils.h"
#include "media/WebrtcClientVcl.h"
#include "platform/linux/LocalSocketInstanceChannel.h"
#include "app/RemoteControl.h"
#include "app/RemoteScreenView.h"
#include "dialogs/FormAddConnection.h"
#include "session/QtScreens.h"
#include "session/RtcClientPort.h"
#include "session/SessionSetup.h"
#include "screen/HostCaptureMode.h"
#include "screen/ScreenshotThread.h"
#include "signalling/AliveButtonState.h"
#include "signalling/SignallingConnection.h"
#include "window/TabController.h"
#include "window/WindowCaption.h"

namespace corvala {

namespace {

constexpr int HostPanelWidth = 420;
constexpr int CloseRecoveryPumpMs = 1000;
const QString Bullet = QString(QChar(0x25CF));

QString Format(const QString& text, const QString& value) {
    QString out = text;
    const int at = out.indexOf("%s");
    if (at >= 0) out.replace(at, 2, value);
    return out;
}

QString AccentButtonStyle(const ThemeColours& t) {
    return QString("QPushButton { background: %1; color: white; border: none; font-size: 11pt; }"
                   "QPushButton:hover { background: %2; } QPushButton:pressed { background: %3; }"
                   "QPushButton:disabled { background: %4; color: white; }")
        .arg(ToQColor(t.ButtonColour).name(), ToQColor(t.ButtonHoverColour).name(),
             ToQColor(t.ButtonPressedColour).name(), ToQColor(t.DisabledButtonColour).name());
}

}  // namespace

// A tool image on the caption bar: a glyph in IconColour that opens its
// menu just below itself.
class TToolImage : public QWidget {
public:
    enum class Glyph { Settings, Help };
    TToolImage(Glyph glyph, QWidget* parent) : QWidget(parent), FGlyph(glyph) {
        setFixedSize(30, 30);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
    }
    QMenu* Menu = nullptr;

protected:
    void paintEvent(QPaintEvent*) override {
        const ThemeColours& theme = processState().Theme;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), ToQColor(underMouse() ? theme.CaptionButtonHoverColour : theme.CaptionColour));
        p.setPen(QPen(ToQColor(theme.IconColour), 2));
        const QPointF c = QRectF(rect()).center();
        if (FGlyph == Glyph::Settings) {
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(c);
                p.rotate(i * 45);
                p.drawLine(QPointF(0, 5), QPointF(0, 8));
                p.restore();
            }
            p.drawEllipse(c, 5, 5);
        } else {
            p.drawEllipse(c, 8, 8);
            QFont font = p.font();
            font.setBold(true);
            font.setPixelSize(11);
            p.setFont(font);
            p.drawText(QRectF(rect()), Qt::AlignCenter, "?");
        }
    }
    void mousePressEvent(QMouseEvent*) override {
        if (Menu) Menu->popup(mapToGlobal(QPoint(0, height())));
    }

private:
    Glyph FGlyph;
};

// Four small round shapes lit one after another: shape 1, 2, 3, 4, none.
class TActivityIndicator : public QWidget {
public:
    explicit TActivityIndicator(QWidget* parent) : QWidget(parent) { setFixedSize(4 * 12, 10); }
    void Step() {
        FSequence.Step(!isHidden());
        update();
    }
    void Stop() {
        FSequence.Reset();
        hide();
    }
    int Lit() const { return FSequence.Lit(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < 4; ++i) {
            p.setPen(QPen(QColor(0, 120, 215)));
            p.setBrush(i == FSequence.Lit() ? QColor(0, 120, 215) : Qt::white);
            p.drawEllipse(QRectF(i * 12 + 1, 1, 8, 8));
        }
    }

private:
    ActivitySequence FSequence;
};

TFormMainCR::TFormMainCR(MainWindowEnvironment environment, QWidget* parent)
    : QWidget(parent), FEnv(std::move(environment)) {
    setObjectName("TFormMainCR");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_QuitOnClose, true);
    CreateTimers();
    CreateControls();
    CreateViewerControls();
}

TFormMainCR::~TFormMainCR() {
    // Destruction: the connection log is saved, then everything else goes
    // with its owner.
    if (!ConnectionLogPath.isEmpty() && !FConnectionLog.IsEmpty()) FConnectionLog.Save(ConnectionLogPath);
    TimerTurnServerCPUUsageControl->stop();
    // The remote control watches the picture's events: it goes before the
    // widgets do, so it never sees a half-destroyed picture. The capture
    // thread lets go of its input first.
    if (FEnv.HostCapture) FEnv.HostCapture->Input().Detach();
    delete FRemote;
    FRemote = nullptr;
}

void TFormMainCR::CreateTimers() {
    TimerDataTimeout = new TTimer(this, 1000, "TimerDataTimeout");
    TimerMouseCursorCheck = new TTimer(this, 100, "TimerMouseCursorCheck");
    TimerActivityAnimation = new TTimer(this, 500, "TimerActivityAnimation");
    TimerCopyImagehider = new TTimer(this, 300, "TimerCopyImagehider");
    TimerControlCommand = new TTimer(this, 100, "TimerControlCommand");
    TimerShowNoSpeakDialog = new TTimer(this, 1000, "TimerShowNoSpeakDialog");
    TimerShowCannotProcessCtrlAltDelDialog = new TTimer(this, 1000, "TimerShowCannotProcessCtrlAltDelDialog");
    TimerMagnifierMinimizer = new TTimer(this, 1000, "TimerMagnifierMinimizer");
    TimerSelectDirectory = new TTimer(this, 1000, "TimerSelectDirectory");
    TimerSelectDirsAndFiles = new TTimer(this, 1000, "TimerSelectDirsAndFiles");
    TimerTransferFormShow = new TTimer(this, 1000, "TimerTransferFormShow");
    TimerStartFileTransfer = new TTimer(this, 500, "TimerStartFileTransfer");
    TurnChecker = new TTimer(this, 100, "TurnChecker");
    TimerTurnServerCPUUsageControl = new TTimer(this, 30000, "TimerTurnServerCPUUsageControl");

    connect(TimerActivityAnimation, &QTimer::timeout, this, &TFormMainCR::TimerActivityAnimationTimer);
    // Running from the start; their handlers arrive with their subsystems.
    TimerDataTimeout->start();
    TimerMouseCursorCheck->start();
}

void TFormMainCR::CreateControls() {
    const auto bold = [](QLabel* label, int points) {
        QFont f = label->font();
        f.setBold(true);
        f.setPointSize(points);
        label->setFont(f);
    };
    auto* outer = new QVBoxLayout(this);
    outer->setSpacing(0);

    panCaption = new TCaptionBar(this);
    panCaption->setObjectName("panCaption");
    auto* captionLayout = new QHBoxLayout(panCaption);
    captionLayout->setContentsMargins(10, 0, 0, 0);
    captionLayout->setSpacing(0);
    lblCaption = new QLabel(panCaption);
    lblCaption->setObjectName("lblCaption");
    panCaption->DragBy(lblCaption);
    imgSettings = new TToolImage(TToolImage::Glyph::Settings, panCaption);
    imgSettings->setObjectName("imgSettings");
    imgHelp = new TToolImage(TToolImage::Glyph::Help, panCaption);
    imgHelp->setObjectName("imgHelp");
    btnHideToTray = new TCaptionButton(TCaptionButton::Glyph::HideToTray, panCaption);
    btnHideToTray->setObjectName("btnHideToTray");
    btnMinimize = new TCaptionButton(TCaptionButton::Glyph::Minimize, panCaption);
    btnMinimize->setObjectName("btnMinimize");
    btnClose = new TCaptionButton(TCaptionButton::Glyph::Close, panCaption);
    btnClose->setObjectName("btnClose");
    captionLayout->addWidget(lblCaption, 1);
    captionLayout->addWidget(imgSettings);
    captionLayout->addWidget(imgHelp);
    captionLayout->addSpacing(6);
    captionLayout->addWidget(btnHideToTray);
    captionLayout->addWidget(btnMinimize);
    captionLayout->addWidget(btnClose);
    outer->addWidget(panCaption);
    connect(btnHideToTray, &QAbstractButton::clicked, this, &TFormMainCR::HideToTrayClick);
    connect(btnMinimize, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(btnClose, &QAbstractButton::clicked, this, &QWidget::close);

    panHost = new QWidget(this);
    panHost->setObjectName("panHost");
    panHost->setFixedWidth(HostPanelWidth);
    auto* host = new QVBoxLayout(panHost);
    host->setContentsMargins(24, 18, 24, 18);
    host->setSpacing(8);
    lblHeading = new QLabel(panHost);
    lblHeading->setObjectName("lblHeading");
    lblHeading->setWordWrap(true);
    host->addWidget(lblHeading);

    auto* figures = new QGridLayout();
    figures->setHorizontalSpacing(16);
    lblYourId = new QLabel(panHost);
    lblYourId->setObjectName("lblYourId");
    lblId = new QLabel(panHost);
    lblId->setObjectName("lblId");
    lblId->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bold(lblId, 20);
    lblPasswordCaption = new QLabel(panHost);
    lblPasswordCaption->setObjectName("lblPasswordCaption");
    lblPassword = new QLabel(panHost);
    lblPassword->setObjectName("lblPassword");
    lblPassword->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bold(lblPassword, 20);
    figures->addWidget(lblYourId, 0, 0);
    figures->addWidget(lblId, 0, 1);
    figures->addWidget(lblPasswordCaption, 1, 0);
    figures->addWidget(lblPassword, 1, 1);
    figures->setColumnStretch(1, 1);
    host->addLayout(figures);

    shpSeparator = new QWidget(panHost);
    shpSeparator->setObjectName("shpSeparator");
    shpSeparator->setFixedHeight(2);
    host->addSpacing(6);
    host->addWidget(shpSeparator);
    lblConnectLine = new QLabel(panHost);
    lblConnectLine->setObjectName("lblConnectLine");
    lblConnectLine->setWordWrap(true);
    host->addWidget(lblConnectLine);
    btnConnect = new QPushButton(panHost);
    btnConnect->setObjectName("btnConnect");
    btnConnect->setFixedHeight(36);
    btnConnect->setEnabled(false);
    host->addWidget(btnConnect);
    lblContactCaption = new QLabel(panHost);
    lblContactCaption->setObjectName("lblContactCaption");
    lblContactCaption->hide();
    lblContact = new QLabel(panHost);
    lblContact->setObjectName("lblContact");
    lblContact->hide();
    host->addWidget(lblContactCaption);
    host->addWidget(lblContact);
    shpActivity = new TActivityIndicator(panHost);
    shpActivity->setObjectName("shpActivity");
    host->addWidget(shpActivity, 0, Qt::AlignHCenter);
    outer->addWidget(panHost);

    // The viewer's remote-screen area; shown by the viewer layout.
    panRemoteScreens = new QWidget(this);
    panRemoteScreens->setObjectName("panRemoteScreens");
    panRemoteScreens->hide();
    auto* remote = new QVBoxLayout(panRemoteScreens);
    remote->setContentsMargins(0, 0, 0, 0);
    imgRemoteScreen = new TRemoteScreenView(panRemoteScreens);
    remote->addWidget(imgRemoteScreen, 1);
    lblLostConnectionInfo = new QLabel(panRemoteScreens);
    lblLostConnectionInfo->setObjectName("lblLostConnectionInfo");
    lblLostConnectionInfo->setAlignment(Qt::AlignCenter);
    lblLostConnectionInfo->hide();
    panReconnectButton = new QPushButton(panRemoteScreens);
    panReconnectButton->setObjectName("panReconnectButton");
    panReconnectButton->hide();
    remote->addWidget(lblLostConnectionInfo);
    remote->addWidget(panReconnectButton, 0, Qt::AlignHCenter);
    outer->addWidget(panRemoteScreens, 1);
    connect(panReconnectButton, &QPushButton::clicked, this, &TFormMainCR::panReconnectButtonClick);
}

QAction* TFormMainCR::MenuAction(const QString& englishKey) const {
    for (QAction* action : findChildren<QAction*>())
        if (action->property("englishKey").toString() == englishKey) return action;
    return nullptr;
}

void TFormMainCR::BuildMenus() {
    // Items whose behaviour comes with later subsystems are shown disabled.
    const auto add = [this](QMenu* menu, const char* key, const char* suffix, bool enabled) {
        QAction* action = menu->addAction(QString());
        action->setProperty("englishKey", QString::fromUtf8(key));
        action->setProperty("suffix", QString::fromUtf8(suffix));
        action->setEnabled(enabled);
        return action;
    };
    mnuSettings = new QMenu(this);
    mnuSettings->setObjectName("mnuSettings");
    QAction* autostart = add(mnuSettings, "Automatic start", "", true);
    autostart->setCheckable(true);
    QAction* viewOnly = add(mnuSettings, "Allow only viewing", "", true);
    viewOnly->setCheckable(true);
    add(mnuSettings, "Set Password", "...", false);
    add(mnuSettings, "Set Display Name", "...", false);
    add(mnuSettings, "Set Whitelist", "...", false);
    add(mnuSettings, "Contacts Book", "...", false);
    QAction* printer = add(mnuSettings, "%s driver...", "", false);
    printer->setProperty("formatWith", "Velmora Printer");
    mnuLanguage = mnuSettings->addMenu(QString());
    mnuLanguage->menuAction()->setProperty("englishKey", "Language");
    imgSettings->Menu = mnuSettings;
    connect(autostart, &QAction::triggered, this, &TFormMainCR::AutomaticStartClick);
    connect(viewOnly, &QAction::triggered, this, &TFormMainCR::AllowOnlyViewingClick);
    connect(mnuSettings, &QMenu::aboutToShow, this, [this, autostart, viewOnly] {
        autostart->setChecked(AutostartMarkerExists());
        viewOnly->setChecked(FSettings->AllowOnlyViewing);
    });

    mnuHelp = new QMenu(this);
    mnuHelp->setObjectName("mnuHelp");
    add(mnuHelp, "Connection Log", "...", false);
    QAction* manual = add(mnuHelp, "Online Manual", "", true);
    QAction* brand = add(mnuHelp, "Customize with Your Brand", "", true);
    QAction* site = add(mnuHelp, "Visit Website", "", true);
    add(mnuHelp, "About", "", false);
    imgHelp->Menu = mnuHelp;
    connect(manual, &QAction::triggered, this, [this] { OpenWebAddress(FEnv.WebSiteAddress + "/manual/"); });
    connect(brand, &QAction::triggered, this,
            [this] { OpenWebAddress(FEnv.WebSiteAddress + "/manual/" + "customization.htm"); });
    connect(site, &QAction::triggered, this, [this] { OpenWebAddress(FEnv.WebSiteAddress); });
}

void TFormMainCR::BuildLanguageMenu() {
    mnuLanguage->clear();
    delete FLanguageGroup;
    FLanguageGroup = new QActionGroup(this);
    const Translator& table = translator();
    for (int i = 0; i < table.languageCount(); ++i) {
        QAction* item = mnuLanguage->addAction(table.languageName(i));
        item->setCheckable(true);
        item->setChecked(i == table.languageIndex());
        item->setData(i);
        FLanguageGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, i] { ChooseLanguage(i); });
    }
}

void TFormMainCR::TranslateWindow() {
    static const TextTarget targets[] = {
        {"lblHeading", "text", "Use the following credentials to allow remote access to this device:"},
        {"lblYourId", "text", "Your ID:"},
        {"lblPasswordCaption", "text", "Password:"},
        {"lblConnectLine", "text", "Or click the following button to access remote device:"},
        {"btnConnect", "text", "Connect..."},
        {"lblContactCaption", "text", "For assistance, please contact us:"},
    };
    translateTexts(this, targets);
    for (QAction* action : findChildren<QAction*>()) {
        const QString key = action->property("englishKey").toString();
        if (key.isEmpty()) continue;
        QString text = translate(key);
        const QString with = action->property("formatWith").toString();
        if (!with.isEmpty()) text = Format(text, with);
        action->setText(text + action->property("suffix").toString());
    }
    lblContact->setToolTip(translate("Copied to clipboard"));
    if (FTrayIcon) {
        FTrayIcon->setToolTip(ProductName);
        actTrayOpen->setText(Format(translate("Open %s"), ProductName));
        actTrayExit->setText(translate("Exit"));
    }
    TranslateViewerControls();
    UpdateConnectButton();
}

bool TFormMainCR::Create() {
    ProcessState& state = processState();
    // 1
    identity::RandomCredentials::SeedFromClock();
    state.LockScreenMode = FEnv.SessionMonitor && !FEnv.SessionMonitor->AnySessionActive();
    // 2: session notifications; a system without them simply sends none.
    if (FEnv.SessionMonitor)
        FEnv.SessionMonitor->Start([this](platform::SessionChange change) { HandleSessionChange(change); });
    // 3-5
    QApplication::setApplicationName(ProductName);
    setWindowTitle(ProductName);
    // 6-7
    SettingsEnvironment settingsEnv;
    settingsEnv.FilePath = QString::fromStdString((FEnv.Folders.program / programfiles::Settings).string());
    settingsEnv.MachineFingerprint = FEnv.MachineFingerprint;
    if (QScreen* screen = QGuiApplication::primaryScreen()) settingsEnv.PrimaryScreenSize = screen->size();
    settingsEnv.SystemLanguageCode = systemLanguageCode();
    settingsEnv.ComputerName = QHostInfo::localHostName().left(256);
    FSettings = std::make_unique<Settings>(settingsEnv);
    const bool settingsRead = FSettings->read();
    // 8
    translator().buildFromUtf8(embeddedLanguageTable());
    translator().setLanguageCode(FSettings->LanguageCode);
    // 9
    if (!settingsRead) {
        FSettings->DeviceId = QString::fromStdString(identity::RandomCredentials::MakeDeviceId());
        if (!TFormWelcome::Ask(FEnv.WebSiteAddress, this)) {
            state.EventsSuspended = true;
            return false;
        }
    }
    // 10
    BuildMenus();
    BuildLanguageMenu();
    CreateTrayIcon();
    TranslateWindow();
    // 11: the clipboard listener arrives with clipboard sharing.
    // 12
    if (!PassesIntegrityTest()) return false;
    // 13
    ConnectionLogPath = QString::fromStdString((FEnv.Folders.program / "log.txt").string());
    FConnectionLog.Load(ConnectionLogPath);
    // 14-15: the signalling client takes the root file; the update check
    // arrives with self-update.
    try {
        rtcClient = std::make_unique<TWebRtcClientVcl>(QString::fromStdString(FEnv.Folders.program.string()));
    } catch (const std::exception& error) {
        ShowAppMessage(true, MessageKind::Error, QString::fromUtf8(error.what()));
        state.EventsSuspended = true;
        return false;
    }
    rtcClient->VideoConstraints.MaxFramerate = 10;
    rtcClient->IceServers = DefaultIceServers(IceServersFromEnvironment());
    rtcClient->VideoCallEnabled = false;
    rtcClient->CameraId = 0;
    CreateSignalling();
    CreateSession();
    // 17
    lblCaption->setText(ProductName + " " + VersionText());
    lblId->setText(FSettings->DeviceId);
    // 18
    if (FSettings->RandomPasswordMode)
        FSettings->HostPassword = QString::fromStdString(identity::RandomCredentials::RandomCredential());
    ShowPasswordFigure();
    // 19: "Allow only viewing" and "Automatic start" are ticked when the menu opens.
    // 21
    if (state.Branded) ApplyBranding();
    // 22-23
    PaintTheme();
    SizeToHostPanel();
    // 24
    UpdateCaption();
    TimerActivityAnimation->start();
    cliSignal->ServerConnectionCheckerTimer();

    // The desktop copy window, shown only in lock-screen operation.
    FDesktopCopyForm = std::make_unique<TDesktopCopyForm>(FEnv.HostCapture ? &FEnv.HostCapture->Picture() : nullptr);

    auto* server = new platform::linuxos::InstanceMessageServer(
        [this](const platform::InstanceMessage& m) { HandleInstanceMessage(m); }, this);
    server->Listen();
    return true;
}

bool TFormMainCR::PassesIntegrityTest() {
    const QString folder = QString::fromStdString(FEnv.Folders.program.string());
    if (!FirstIntegrityFailure(folder, DeliveredDigests())) return true;
    if (!processState().LockScreenMode)
        ShowAppMessage(true, MessageKind::Error,
                       translate("Error") + " 286." + translate("Please contact developers") + " (" +
                           FEnv.SupportContact + ").");
    processState().EventsSuspended = true;
    return false;
}

void TFormMainCR::ShowPasswordFigure() {
    lblPassword->setText(FSettings->RandomPasswordMode ? FSettings->HostPassword
                                                       : Bullet.repeated(FSettings->HostPassword.size()));
}

void TFormMainCR::ApplyBranding() {
    try {
        QFile file(QString::fromStdString((FEnv.Folders.program / programfiles::Branding).string()));
        if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error(file.errorString().toStdString());
        QString text = QString::fromUtf8(file.readAll());
        if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
        QStringList lines = text.split('\n');
        for (QString& line : lines) line.remove('\r');
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        if (lines.size() == 2) {
            strBrandedContact = lines[0];
            lblContact->setText(strBrandedContact);
            lblContact->setStyleSheet(QString("color: %1;").arg(ToQColor(processState().Theme.LinkColour).name()));
        }
    } catch (const std::exception& error) {
        if (!processState().LockScreenMode)
            ShowAppMessage(false, MessageKind::Error,
                           QString::fromUtf8(error.what()) + " " + "Error code: 3823. " + "Please contact developers.");
    }
    MenuAction("Automatic start")->setVisible(false);
    btnConnect->hide();
    lblContactCaption->show();
    lblContact->show();
    imgSettings->hide();
    imgHelp->hide();
    lblConnectLine->hide();
    TimerActivityAnimation->stop();
    shpActivity->Stop();
    for (const char* key : {"Set Password", "Contacts Book", "%s driver...", "Online Manual", "Customize with Your Brand"})
        if (QAction* action = MenuAction(key)) action->setVisible(false);
}

void TFormMainCR::PaintTheme() {
    const ThemeColours& t = processState().Theme;
    lblCaption->setStyleSheet(QString("color: %1; font-weight: bold;").arg(ToQColor(t.CaptionTextColour).name()));
    panHost->setAutoFillBackground(true);
    QPalette hostPalette = panHost->palette();
    hostPalette.setColor(QPalette::Window, Qt::white);
    panHost->setPalette(hostPalette);
    const QString idStyle = QString("color: %1;").arg(ToQColor(t.IdTextColour).name());
    lblId->setStyleSheet(idStyle);
    lblPassword->setStyleSheet(idStyle);
    const QColor panel = t.PanelColour ? ToQColor(*t.PanelColour) : palette().color(QPalette::Button);
    shpSeparator->setStyleSheet(QString("background: %1;").arg(panel.name()));
    btnConnect->setStyleSheet(AccentButtonStyle(t));
    layout()->setContentsMargins(t.BorderWidth, t.BorderWidth, t.BorderWidth, t.BorderWidth);
}

void TFormMainCR::SizeToHostPanel() {
    adjustSize();
    setFixedSize(sizeHint());
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormMainCR::paintEvent(QPaintEvent*) { PaintWindowBorder(this); }

void TFormMainCR::CreateTrayIcon() {
    mnuTray = new QMenu(this);
    actTrayOpen = mnuTray->addAction(QString());
    actTrayExit = mnuTray->addAction(QString());
    connect(actTrayOpen, &QAction::triggered, this, &TFormMainCR::ShowFromTray);
    connect(actTrayExit, &QAction::triggered, this, &QWidget::close);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    FTrayIcon = new QSystemTrayIcon(this);
    QPixmap icon(32, 32);
    icon.fill(ToQColor(processState().Theme.CaptionColour));
    FTrayIcon->setIcon(QIcon(icon));
    FTrayIcon->setContextMenu(mnuTray);
    connect(FTrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) ShowFromTray();
    });
    FTrayIcon->show();
}

void TFormMainCR::ShowFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void TFormMainCR::HideToTrayClick() {
    if (AnyPeerConnected()) return;
    if (!FTrayIcon) {
        // No notification area on this desktop: a hidden window could not be
        // found again, so it is minimised instead.
        showMinimized();
        return;
    }
    hide();
    if (!FTrayBalloonShown) {
        FTrayBalloonShown = true;
        FTrayIcon->showMessage(ProductName, Format(translate("%s is minimized and still active"), ProductName));
    }
}

void TFormMainCR::HandleInstanceMessage(const platform::InstanceMessage& message) {
    if (message.message == platform::ConnectRequestMessage) {
        if (auto request = DecodeConnectRequest(QByteArray::fromStdString(message.payload)))
            ConnectFromCommandLine(request->id, request->password);
        return;
    }
    const auto& wanted = platform::ShowWindowMessage;
    if (message.message != wanted.message || message.wParam != wanted.wParam || message.lParam != wanted.lParam)
        return;
    if (isHidden()) ShowFromTray();
}

void TFormMainCR::HandleSessionChange(platform::SessionChange change) {
    HostSessionHooks hooks;
    hooks.SendReconnectToEveryPeer = [this] { SendToEveryPeer("RECONNECT"); };
    hooks.ProcessMessagesFor = [this](int milliseconds) { PumpMessages(milliseconds); };
    hooks.DeactivateComponent = [this] {
        if (rtcClient) rtcClient->SetActive(false);
    };
    hooks.CloseDesktopCopyWindow = [this] {
        if (FDesktopCopyForm) FDesktopCopyForm->CloseCopy();
    };
    HostSessionChanged(change, hooks);
}

void TFormMainCR::ChooseLanguage(int index) {
    const int current = translator().languageIndex();
    if (btnConnect->text() == translate("Download")) {
        // A forced update is on screen: the choice changes nothing.
        TickLanguage(current);
        return;
    }
    translator().setLanguageIndex(index);
    TickLanguage(index);
    FSettings->LanguageCode = translator().languageCode(index);
    FSettings->write();
    TranslateWindow();
}

void TFormMainCR::TickLanguage(int index) {
    for (QAction* item : mnuLanguage->actions()) item->setChecked(item->data().toInt() == index);
}

bool TFormMainCR::AutostartMarkerExists() const {
    return QFileInfo(QString::fromStdString((FEnv.Folders.program / programfiles::AutostartMarker).string())).isDir();
}

void TFormMainCR::SetAutomaticStart(bool on) {
    if (!FEnv.Shell) return;
    FEnv.Shell->Execute("runas", (FEnv.Folders.program / programfiles::CompanionService).string(),
                        on ? "/install" : "/uninstall");
}

void TFormMainCR::AutomaticStartClick() {
    const bool wasOn = AutostartMarkerExists();
    if (wasOn || !FSettings->RandomPasswordMode) {
        SetAutomaticStart(!wasOn);
        return;
    }
    // A random password changes at every start: nobody could reach this
    // computer after an automatic start, so a static password comes first.
    ShowAppMessage(true, MessageKind::Warning,
                   Format(translate("In order to start %s with Windows you must specify a \"Static Password\"."),
                          ProductName));
}

void TFormMainCR::AllowOnlyViewingClick() {
    FSettings->AllowOnlyViewing = !FSettings->AllowOnlyViewing;
    UpdateCaption();
}

void TFormMainCR::OpenWebAddress(const QString& address) {
    if (FEnv.Shell) FEnv.Shell->Execute("open", address.toStdString(), "");
}

void TFormMainCR::UpdateCaption() {
    setWindowTitle(ProductName);
    UpdateWindowCaption();
}

bool TFormMainCR::ConnectedToSignalServer() const { return cliSignal && cliSignal->FConnectedToSignalServer(); }

void TFormMainCR::UpdateConnectButton() {
    // Enabled once the server has been joined; a click while the link is
    // down later gets its own error box from the connect action.
    if (ConnectedToSignalServer()) btnConnect->setEnabled(true);
}

void TFormMainCR::TimerActivityAnimationTimer() { shpActivity->Step(); }

void TFormMainCR::CreateSignalling() {
    SignallingConfig config;
    config.rootCertificateFile =
        QString::fromStdString((FEnv.Folders.program / programfiles::RootCertificate).string());
    config.deviceId = FSettings->DeviceId;
    cliSignal = std::make_unique<SignallingConnection>(config);

    ClientMessageHooks hooks;
    hooks.ShowWarning = [](const QString& english) {
        ShowAppMessage(true, MessageKind::Warning, translate(english));
    };
    hooks.Joined = [this] { ClientMessageJoined(); };
    hooks.SendInitAfterPublicTurn = [this](bool newConnection) { FSession->SendInitAfterPublicTurn(newConnection); };
    hooks.HandlePeerMessage = [this](const QJsonObject& message) { FSession->HandlePeerMessage(message); };
    hooks.ApplyIceServerFromPayload = [this](const IceServer& relay, bool remember) {
        FSession->ApplyIceServerFromPayload(relay, remember);
    };
    FClientMessage = std::make_unique<ClientMessage>(hooks);
    connect(cliSignal.get(), &SignallingConnection::lineReceived, this,
            [this](const QByteArray& line) { (*FClientMessage)(line); });
}

void TFormMainCR::CreateSession() {
    FRtcPort = std::make_unique<TWebRtcClientPort>(*rtcClient);
    SessionEnvironment env;
    env.settings = FSettings.get();
    env.rtc = FRtcPort.get();
    SignallingConnection* link = cliSignal.get();
    env.SendLine = [link](const QByteArray& line) { return link->WriteLine(line); };
    env.SaveSettings = [this] { return FSettings->write(); };
    env.ConnectedToSignalServer = [link] { return link->FConnectedToSignalServer(); };
    env.MasterMode = [] { return processState().MasterMode; };
    env.SetMasterMode = [] { processState().MasterMode = true; };
    env.LockScreenMode = [] { return processState().LockScreenMode.load(); };
    env.Screens = [] { return ScreensFromQt(); };
    env.MacAddressText = FEnv.MacAddressText;

    SessionUiHooks ui;
    ui.ShowWarning = [](const QString& text) { ShowAppMessage(true, MessageKind::Warning, text); };
    ui.ShowNonModalWarning = [](const QString& text) { ShowAppMessage(false, MessageKind::Warning, text); };
    ui.ShowError = [](const QString& text) { ShowAppMessage(true, MessageKind::Error, text); };
    ui.Confirm = [](const QString& text) { return ShowAppMessage(true, MessageKind::Confirm, text); };
    ui.LogConnection = [this](const QString& text) { AddConnectionLogLine(text); };
    ui.DisconnectAllPeers = [this] {
        processState().EventsSuspended = true;
        SendToEveryPeer("DISCONNECT");
        PumpMessages(CloseRecoveryPumpMs);
        rtcClient->SetActive(false);
        PumpMessages(CloseRecoveryPumpMs);
        processState().EventsSuspended = false;
    };
    ui.SwitchToViewerLayout = [this] { SwitchToViewerLayout(); };
    ui.ShowConnectionDialog = [this](const std::optional<ConnectRequest>& confirmWith)
        -> std::optional<SessionUiHooks::DialogResult> {
        if (confirmWith) {
            frmAddConnection->strID = confirmWith->id;
            frmAddConnection->strPswd = confirmWith->password;
        }
        frmAddConnection->Execute(confirmWith.has_value());
        if (frmAddConnection->Tag != 1) return std::nullopt;
        return SessionUiHooks::DialogResult{frmAddConnection->IdText(), frmAddConnection->Password()};
    };
    ui.UpdateAliveButton = [this] { UpdateAliveButton(); };
    ui.AddTab = [this](const QString& caption, const QString& id) { AddTab(caption, id); };
    ui.SelectTab = [this](const QString& id) { SelectTab(id); };
    ui.ClearPressedKeys = [this] {
        if (FRemote) FRemote->Viewer().ClearPressedKeys();
    };
    ui.UpdateMonitorMenu = [this](const QString&) { UpdateMonitorMenu(); };
    ui.ResetFrameWatch = [this](const QString&) {
        if (FRemote) FRemote->FrameDrawn();
    };
    ui.CollapseForSession = [this] { CollapseForSession(); };
    ui.ShowDesktopCopyWindow = [this]() -> unsigned long {
        if (FRemote) FRemote->Host().ClearReplayTables();
        if (!FDesktopCopyForm) return 0;
        const MonitorRect desktop = ScreensFromQt().Desktop();
        return FDesktopCopyForm->ShowCovering(desktop.width, desktop.height);
    };
    ui.ShowWindowForSession = [this] {
        if (isVisible()) return;
        processState().ShownForSession = true;
        ShowFromTray();
    };
    FSession = std::make_unique<TSessionSetup>(env, ui);
    ConnectComponentWriters(*rtcClient, *FSession);

    RemoteControlHooks remote;
    remote.AllowOnlyViewing = [this] { return FSettings->AllowOnlyViewing; };
    remote.UpdateAliveButton = [this] { UpdateAliveButton(); };
    remote.ReconnectButtonVisible = [this] { return panReconnectButton->isVisible(); };
    remote.Reconnect = [this] {
        panReconnectButton->setText(translate("Reconnect"));
        panReconnectButtonClick();
    };
    remote.SessionsEnded = [this](bool noPeerLeft) {
        UpdateCaption();
        if (!noPeerLeft) return;
        ExpandAfterSessions();
        if (processState().ShownForSession) {
            processState().ShownForSession = false;
            hide();
        }
        rtcClient->SetActive(false);
    };
    FRemote = new TRemoteControl(*rtcClient, *imgRemoteScreen, remote, this);
    connect(TimerDataTimeout, &QTimer::timeout, FRemote, &TRemoteControl::LivenessTick);
    connect(TimerMouseCursorCheck, &QTimer::timeout, FRemote, &TRemoteControl::CursorCheckTick);
    if (FEnv.HostCapture) {
        HostInput* input = &FRemote->Host();
        FEnv.HostCapture->Input().Attach(
            {[input] { input->ReplayDeferredInput(); }, [input] { return input->RelativeMouseMode(); }});
    }

    frmAddConnection = new TFormAddConnection(*FSettings, this);
    connect(btnConnect, &QPushButton::clicked, this, [this] { FSession->ConnectAction(true); });

    // Received data and remote frames come on the engine's threads; the main
    // thread handles them while the engine thread waits.
    rtcClient->OnReceiveData = [this](TPeer* sender, const QByteArray& data) {
        if (processState().EventsSuspended) return;
        const QString id = sender->Id();
        QMetaObject::invokeMethod(this, [this, id, data] { rtcClientReceiveData(id, data); },
                                  Qt::BlockingQueuedConnection);
    };
    rtcClient->OnRenderFrame = [this](TWebRtcClientVcl*, bool local, bool, int, const QString& id) {
        if (local || processState().EventsSuspended) return;
        QMetaObject::invokeMethod(this, [this, id] { rtcClientRenderFrame(id); }, Qt::BlockingQueuedConnection);
    };
}

void TFormMainCR::rtcClientReceiveData(const QString& peerId, const QByteArray& data) {
    if (!FRemote) return;
    if (auto peer = rtcClient->Peers.Find(peerId)) FRemote->Receive(*peer, data);
}

void TFormMainCR::rtcClientRenderFrame(const QString& peerId) {
    if (processState().EventsSuspended || !rtcClient->IsCurrentViewingPeer(peerId)) return;
    imgRemoteScreen->DrawRemoteFrame(*rtcClient);
    if (FRemote) FRemote->FrameDrawn();
    // The component marked the peer alive; the picture replaces the status.
    if (lblLostConnectionInfo->isVisible() || panReconnectButton->isVisible()) UpdateAliveButton();
}

void TFormMainCR::ConnectFromCommandLine(const QString& id, const QString& password) {
    if (!FSession) return;
    ConnectRequest request;
    request.id = id;
    request.password = password;
    FSession->ConnectFromCommandLine(request);
}

void TFormMainCR::AddConnectionLogLine(const QString& text) {
    FConnectionLog.Insert(QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat) + ": " + text);
    FConnectionLog.Save(ConnectionLogPath);
}

void TFormMainCR::ClientMessageJoined() {
    cliSignal->SetJoined();
    FSession->SignallingJoined();
    if (!TurnChecker->isActive()) {
        TurnChecker->Tag = 0;
        // The relay setup that TurnChecker runs arrives with relay hosting.
    }
    UpdateConnectButton();
}

void TFormMainCR::UpdateAliveButton() {
    AliveButtonInput input;
    if (rtcClient) {
        input.anyPeers = rtcClient->Peers.Count() > 0;
        if (auto peer = rtcClient->Peers.Find(rtcClient->CurrentViewingPeerID())) {
            input.currentPeerExists = true;
            input.needToReconnect = peer->NeedToReconnect;
            input.alive = peer->Alive;
        }
    }
    const AliveButtonView view = corvala::UpdateAliveButton(input);
    if (!view.changes) return;
    if (view.showRemoteArea) panRemoteScreens->show();
    if (view.fillPicture) imgRemoteScreen->ClearPicture();
    if (view.labelVisible && view.labelText &&
        (lblLostConnectionInfo->isHidden() || lblLostConnectionInfo->text() != translate(*view.labelText)))
        LogStatusText(*view.labelText);
    if (view.labelText) lblLostConnectionInfo->setText(translate(*view.labelText));
    if (view.buttonCaption) panReconnectButton->setText(translate(*view.buttonCaption));
    lblLostConnectionInfo->setVisible(view.labelVisible);
    panReconnectButton->setVisible(view.buttonVisible);
    if (view.repaint) panRemoteScreens->update();
}

void TFormMainCR::panReconnectButtonClick() {
    ReconnectInput input;
    input.buttonCaption = panReconnectButton->text();
    input.translatedConnectCaption = translate("Connect...");
    input.connectedToSignalServer = ConnectedToSignalServer();
    input.calledWithoutSender = sender() == nullptr;
    input.currentPeerExists = rtcClient && rtcClient->Peers.Contains(rtcClient->CurrentViewingPeerID());
    switch (corvala::panReconnectButtonClick(input)) {
        case ReconnectAction::ShowServerUnavailable:
            ShowAppMessage(true, MessageKind::Error, translate(alive_texts::ServerUnavailable));
            break;
        case ReconnectAction::SendInitToCurrentPeer:
            FSession->SendInitToCurrentPeer();
            break;
        case ReconnectAction::SendGetPublicTurn:
            FSession->Reconnect(false);
            break;
        default:
            // The "Connect..." caption joins with the viewer's toolbar.
            break;
    }
}

bool TFormMainCR::AnyPeerConnected() const { return rtcClient && rtcClient->Peers.Count() > 0; }

void TFormMainCR::SendToEveryPeer(const QString& text) {
    if (FRemote) FRemote->Messenger().SendMessageToEveryPeer(text);
}

void TFormMainCR::PumpMessages(int milliseconds) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < milliseconds) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void TFormMainCR::EndSession() {
    EndingSession = true;
    close();
}

void TFormMainCR::closeEvent(QCloseEvent* event) {
    if (FClosing) {
        event->accept();
        return;
    }
    CloseQueryState query;
    query.EndingSession = EndingSession;
    query.AutostartMarkerExists = AutostartMarkerExists();
    query.MasterMode = processState().MasterMode;
    query.ForcedUpdateShown = btnConnect->text() == translate("Download");
    query.PeersConnected = AnyPeerConnected();
    CloseQueryAnswers answers;
    answers.Warning = [](const QString& text) { ShowAppMessage(true, MessageKind::Warning, text); };
    answers.Confirm = [](const QString& text) { return ShowAppMessage(true, MessageKind::Confirm, text); };
    answers.DisableAutostart = [this] { SetAutomaticStart(false); };
    if (!FSettings || !QueryClose(query, answers)) {
        event->ignore();
        return;
    }
    CloseSequence();
    event->accept();
}

void TFormMainCR::CloseSequence() {
    FClosing = true;
    FSettings->write();
    if (AnyPeerConnected()) {
        SendToEveryPeer("DISCONNECT");
        PumpMessages(CloseRecoveryPumpMs);
    }
    processState().EventsSuspended = true;
    if (cliSignal) cliSignal->StopChecker();
    if (rtcClient) rtcClient->SetActive(false);
    if (cliSignal) cliSignal->CloseConnection();
    if (FTrayIcon) FTrayIcon->hide();
}

}  // namespace corvala
