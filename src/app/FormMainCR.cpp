#include "app/FormMainCR.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <QVBoxLayout>
#include <functional>

#include "app/DesktopCopyForm.h"
#include "app/FormAbout.h"
#include "app/FormWelcome.h"
#include "app/RemoteInputFilter.h"
#include "app/RemoteScreenView.h"
#include "base/ProcessState.h"
#include "base/ProductInfo.h"
#include "core/AppCore.h"
#include "dialogs/FormAddConnection.h"
#include "dialogs/FormRouting.h"
#include "relay/LanAddress.h"
#include "dialogs/FormReview.h"
#include "i18n/Translator.h"
#include "i18n/WindowTexts.h"
#include "widgets/FormMessage.h"
#include "widgets/ThemedDialog.h"
#include "widgets/WindowChrome.h"
#include "window/MainBanner.h"
#include "window/WindowCaption.h"

namespace corvala {

namespace {

constexpr int HostPanelWidth = 420;
constexpr int HostTextMargin = 24;  // left and right of the host panel's text block
constexpr int CopiedHintMs = 1500;

QString Format(const QString& text, const QString& value) {
    QString out = text;
    const int at = out.indexOf("%s");
    if (at >= 0) out.replace(at, 2, value);
    return out;
}

// The connect buttons: the accent colours in a larger font.
QString ConnectButtonStyle() { return AccentButtonStyle() + "QPushButton { font-size: 11pt; }"; }

}  // namespace

// A tool image on the caption bar: a glyph in IconColour that opens its
// menu just below itself, or runs its own action when pressed.
class TToolImage : public QWidget {
public:
    enum class Glyph { Settings, Help, Update };
    TToolImage(Glyph glyph, QWidget* parent) : QWidget(parent), FGlyph(glyph) {
        setFixedSize(30, 30);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
    }
    QMenu* Menu = nullptr;
    std::function<void()> Pressed;

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
        } else if (FGlyph == Glyph::Update) {
            // An arrow into a tray.
            p.drawLine(c + QPointF(0, -8), c + QPointF(0, 4));
            p.drawLine(c + QPointF(-4, 0), c + QPointF(0, 4));
            p.drawLine(c + QPointF(4, 0), c + QPointF(0, 4));
            p.drawLine(c + QPointF(-8, 8), c + QPointF(8, 8));
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
        if (Pressed) Pressed();
        else if (Menu) Menu->popup(mapToGlobal(QPoint(0, height())));
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

TFormMainCR::TFormMainCR(TAppCore& core, MainWindowEnvironment environment, QWidget* parent)
    : QWidget(parent), FCore(core), FEnv(std::move(environment)) {
    setObjectName("TFormMainCR");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_QuitOnClose, true);
    setWindowTitle(ProductName);
    TimerActivityAnimation = new QTimer(this);
    TimerActivityAnimation->setInterval(500);
    TimerActivityAnimation->setObjectName("TimerActivityAnimation");
    connect(TimerActivityAnimation, &QTimer::timeout, this, [this] { shpActivity->Step(); });
    CreateControls();
    CreateViewerControls();
    CreateCompanionWindows();
    FDesktopCopyForm = std::make_unique<TDesktopCopyForm>(FEnv.DesktopCopyPicture);
}

TFormMainCR::~TFormMainCR() {
    // The input filter watches the picture's events: it goes before the
    // widgets do, so it never sees a half-destroyed picture.
    delete FRemoteInput;
    FRemoteInput = nullptr;
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
    auto* update = new TToolImage(TToolImage::Glyph::Update, panCaption);
    update->setObjectName("imgUpdate");
    update->Pressed = [this] { FCore.Update().OfferClick(); };
    update->hide();  // until an update is offered
    imgUpdate = update;
    btnHideToTray = new TCaptionButton(TCaptionButton::Glyph::HideToTray, panCaption);
    btnHideToTray->setObjectName("btnHideToTray");
    btnMinimize = new TCaptionButton(TCaptionButton::Glyph::Minimize, panCaption);
    btnMinimize->setObjectName("btnMinimize");
    btnClose = new TCaptionButton(TCaptionButton::Glyph::Close, panCaption);
    btnClose->setObjectName("btnClose");
    captionLayout->addWidget(lblCaption, 1);
    captionLayout->addWidget(imgUpdate);
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
    host->setContentsMargins(HostTextMargin, 18, HostTextMargin, 18);
    host->setSpacing(8);
    imgBanner = new TMainBanner(HostPanelWidth - 2 * HostTextMargin, panHost);
    host->addWidget(imgBanner, 0, Qt::AlignLeft);
    host->addSpacing(4);
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
    lblContact->setCursor(Qt::PointingHandCursor);
    lblContact->installEventFilter(this);
    lblContact->hide();
    // A hint of its own rather than a tooltip: it shows after the click, not
    // when the pointer rests on the text.
    lblCopiedHint = new QLabel(this, Qt::ToolTip);
    lblCopiedHint->setObjectName("lblCopiedHint");
    lblCopiedHint->setForegroundRole(QPalette::ToolTipText);
    lblCopiedHint->setBackgroundRole(QPalette::ToolTipBase);
    lblCopiedHint->setAutoFillBackground(true);
    lblCopiedHint->setMargin(4);
    lblCopiedHint->hide();
    FCopiedHintTimer = new QTimer(this);
    FCopiedHintTimer->setSingleShot(true);
    FCopiedHintTimer->setInterval(CopiedHintMs);
    connect(FCopiedHintTimer, &QTimer::timeout, lblCopiedHint, &QWidget::hide);
    host->addWidget(lblContactCaption);
    host->addWidget(lblContact);
    shpActivity = new TActivityIndicator(panHost);
    shpActivity->setObjectName("shpActivity");
    {
        // The indicator stops (and hides) once the relay setup after the
        // first join is done: its place stays, so the window keeps its height.
        QSizePolicy policy = shpActivity->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        shpActivity->setSizePolicy(policy);
    }
    host->addWidget(shpActivity, 0, Qt::AlignHCenter);
    outer->addWidget(panHost);

    // The viewer's remote-screen area; shown by the viewer layout. The status
    // label and the button float over the picture, centred in the panel.
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
    outer->addWidget(panRemoteScreens, 1);
    connect(panReconnectButton, &QPushButton::clicked, this, [this] { FCore.ReconnectButtonClick(); });
    connect(btnConnect, &QPushButton::clicked, this, [this] { FCore.ConnectAction(true); });
    CreateUpdateControls();
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
    QAction* autostart = add(mnuSettings, TranslationKey("Automatic start"), "", true);
    autostart->setCheckable(true);
    QAction* viewOnly = add(mnuSettings, TranslationKey("Allow only viewing"), "", true);
    viewOnly->setCheckable(true);
    add(mnuSettings, TranslationKey("Set Password"), "...", false);
    add(mnuSettings, TranslationKey("Set Display Name"), "...", false);
    add(mnuSettings, TranslationKey("Set Whitelist"), "...", false);
    QAction* contacts = add(mnuSettings, TranslationKey("Contacts List..."), "", true);
    QAction* printer = add(mnuSettings, TranslationKey("%s driver..."), "", true);
    printer->setProperty("formatWith", "Velmora Printer");
    connect(printer, &QAction::triggered, this, [this] { FCore.PrinterDownload().MenuClick(); });
    mnuLanguage = mnuSettings->addMenu(QString());
    mnuLanguage->menuAction()->setProperty("englishKey", TranslationKey("Language"));
    imgSettings->Menu = mnuSettings;
    connect(autostart, &QAction::triggered, this, [this] { FCore.AutomaticStartClick(); });
    connect(viewOnly, &QAction::triggered, this, [this] { FCore.AllowOnlyViewingClick(); });
    connect(contacts, &QAction::triggered, this, &TFormMainCR::ContactsListClick);
    connect(mnuSettings, &QMenu::aboutToShow, this, [this, autostart, viewOnly] {
        autostart->setChecked(FCore.AutostartMarkerExists());
        viewOnly->setChecked(FCore.AppSettings().AllowOnlyViewing);
    });

    mnuHelp = new QMenu(this);
    mnuHelp->setObjectName("mnuHelp");
    add(mnuHelp, TranslationKey("Connection Log"), "...", false);
    QAction* manual = add(mnuHelp, TranslationKey("Online Manual"), "", true);
    QAction* brand = add(mnuHelp, TranslationKey("Customize with Your Brand"), "", true);
    QAction* site = add(mnuHelp, TranslationKey("Visit Website"), "", true);
    QAction* feedback = add(mnuHelp, TranslationKey("Send Feedback"), "...", true);
    QAction* about = add(mnuHelp, TranslationKey("About"), "", true);
    imgHelp->Menu = mnuHelp;
    connect(feedback, &QAction::triggered, this, &TFormMainCR::ShowReviewWindow);
    connect(about, &QAction::triggered, this, &TFormMainCR::ShowAboutWindow);
    connect(manual, &QAction::triggered, this, [this] { FCore.OpenWebAddress(FEnv.WebSiteAddress + "/manual/"); });
    connect(brand, &QAction::triggered, this,
            [this] { FCore.OpenWebAddress(FEnv.WebSiteAddress + "/manual/" + "customization.htm"); });
    connect(site, &QAction::triggered, this, [this] { FCore.OpenWebAddress(FEnv.WebSiteAddress); });
    ConnectConnectionItems();
}

void TFormMainCR::ShowAboutWindow() {
    TFormAbout about(FEnv.WebSiteAddress, FCore.Environment().SupportContact,
                     [this](const QString& address) { FCore.OpenWebAddress(address); }, this);
    about.ExecCentred();
}

void TFormMainCR::ShowReviewWindow() {
    TFormReview review([this](const TReview& r) { return FCore.SendReview(r); }, this);
    review.ExecCentred();
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
    if (!FMenusBuilt) {
        // The language menu lists the table's languages: built once the
        // table is.
        FMenusBuilt = true;
        BuildMenus();
        BuildLanguageMenu();
        CreateTrayIcon();
    }
    TickLanguage(translator().languageIndex());
    static const TextTarget targets[] = {
        {"lblHeading", "text", TranslationKey("Use the following credentials to allow remote access to this device:")},
        {"lblYourId", "text", TranslationKey("Your ID:")},
        {"lblPasswordCaption", "text", TranslationKey("Password:")},
        {"lblConnectLine", "text", TranslationKey("Or click the following button to access remote device:")},
        {"btnConnect", "text", TranslationKey("Connect...")},
        {"lblContactCaption", "text", TranslationKey("For assistance, please contact us:")},
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
    TranslateCompanionWindows();
    if (FTrayIcon) {
        FTrayIcon->setToolTip(ProductName);
        actTrayOpen->setText(Format(translate("Open %s"), ProductName));
        actTrayExit->setText(translate("Exit"));
    }
    TranslateViewerControls();
}

bool TFormMainCR::AskWelcome() {
    return TFormWelcome::Ask(
        FEnv.WebSiteAddress, [this](const QString& address) { FCore.OpenWebAddress(address); }, this);
}

void TFormMainCR::ShowIdentity(const QString& deviceId, const QString& passwordFigure) {
    lblCaption->setText(ProductName + " " + VersionText());
    lblId->setText(deviceId);
    lblPassword->setText(passwordFigure);
}

void TFormMainCR::ShowHostLayout() {
    // The core has made its objects by now: the picture's input and the
    // connection dialog attach to them.
    if (!FRemoteInput) FRemoteInput = new TRemoteInputFilter(*imgRemoteScreen, FCore.Viewer(), this);
    if (!frmAddConnection) {
        frmAddConnection = new TFormAddConnection(FCore.AppSettings(), this);
        ConnectContactsHooks();
        frmAddConnection->OpenRoutingWindow = [this] {
            TRoutingForm routing({[this] { return int(FCore.AppSettings().RelayPort); }, DefaultLanAddress,
                                  [this](const QString& address) { FCore.OpenWebAddress(address); },
                                  FEnv.WebSiteAddress},
                                 frmAddConnection);
            routing.ExecCentred();
        };
    }
    PaintTheme();
    SizeToHostPanel();
    UpdateCaption();
    TimerActivityAnimation->start();
}

bool TFormMainCR::ShowAppMessage(bool modal, MessageKind kind, const QString& text) {
    return corvala::ShowAppMessage(modal, kind, text);
}

void TFormMainCR::EnableConnectButton() {
    // A click while the link is down later gets its own error box from the
    // connect action.
    btnConnect->setEnabled(true);
}

void TFormMainCR::ShowRelaySetupRunning(bool running) {
    if (running) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // A waiting update keeps its "Download" usable.
        if (!FCore.ForcedUpdateShown()) btnConnect->setEnabled(false);
        return;
    }
    QApplication::restoreOverrideCursor();
    btnConnect->setEnabled(true);
    btnConnect->setStyleSheet(ConnectButtonStyle());
    TimerActivityAnimation->stop();
    shpActivity->Stop();
    if (!processState().Branded) btnConnect->show();
}

std::optional<ConnectionDialogResult> TFormMainCR::ShowConnectionDialog(const std::optional<ConnectRequest>& confirmWith) {
    if (confirmWith) {
        frmAddConnection->strID = confirmWith->id;
        frmAddConnection->strPswd = confirmWith->password;
    }
    frmAddConnection->Execute(confirmWith.has_value());
    if (frmAddConnection->Tag != 1) return std::nullopt;
    return ConnectionDialogResult{frmAddConnection->IdText(), frmAddConnection->Password()};
}

void TFormMainCR::DrawRemoteFrame() { imgRemoteScreen->DrawRemoteFrame(FCore.Rtc()); }

void TFormMainCR::SetRemoteCursor(Qt::CursorShape shape) { imgRemoteScreen->setCursor(shape); }

unsigned long TFormMainCR::ShowDesktopCopyWindow(int desktopWidth, int desktopHeight) {
    return FDesktopCopyForm->ShowCovering(desktopWidth, desktopHeight);
}

void TFormMainCR::CloseDesktopCopyWindow() { FDesktopCopyForm->CloseCopy(); }

void TFormMainCR::ApplyBranding(const Branding& branding) {
    strBrandedContact = branding.Contact;
    lblContact->setText(strBrandedContact);
    lblContact->setStyleSheet(QString("color: %1;").arg(ToQColor(processState().Theme.LinkColour).name()));
    if (!branding.BannerPath.isEmpty()) imgBanner->ShowPicture(branding.BannerPath);
    MenuAction("Automatic start")->setVisible(false);
    btnConnect->hide();
    lblContactCaption->show();
    lblContact->setVisible(!strBrandedContact.isEmpty());
    imgSettings->hide();
    imgHelp->hide();
    lblConnectLine->hide();
    TimerActivityAnimation->stop();
    shpActivity->Stop();
    for (const char* key : {"Set Password", "Contacts List...", "%s driver...", "Online Manual", "Customize with Your Brand"})
        if (QAction* action = MenuAction(key)) action->setVisible(false);
}

void TFormMainCR::ContactClick() {
    if (strBrandedContact.isEmpty()) return;
    QGuiApplication::clipboard()->setText(strBrandedContact);
    lblCopiedHint->setText(translate("Copied to clipboard"));
    lblCopiedHint->adjustSize();
    lblCopiedHint->move(lblContact->mapToGlobal(QPoint(0, lblContact->height() + 2)));
    lblCopiedHint->show();
    FCopiedHintTimer->start();
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
    btnConnect->setStyleSheet(ConnectButtonStyle());
    // The remote area is RemoteAreaColour everywhere, under the status too.
    panRemoteScreens->setAutoFillBackground(true);
    QPalette remotePalette = panRemoteScreens->palette();
    remotePalette.setColor(QPalette::Window, ToQColor(t.RemoteAreaColour));
    panRemoteScreens->setPalette(remotePalette);
    lblLostConnectionInfo->setStyleSheet("color: white; background: transparent; font-size: 11pt;");
    panReconnectButton->setStyleSheet(ConnectButtonStyle() + "QPushButton { padding: 6px 24px; }");
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
    if (!FCore.MayHideToTray()) return;
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

void TFormMainCR::ChooseLanguage(int index) {
    FCore.ChooseLanguage(index);
    // A forced update keeps its language: the tick stays where it was.
    TickLanguage(translator().languageIndex());
}

void TFormMainCR::TickLanguage(int index) {
    for (QAction* item : mnuLanguage->actions()) item->setChecked(item->data().toInt() == index);
}

void TFormMainCR::UpdateCaption() {
    setWindowTitle(ProductName);
    UpdateWindowCaption();
}

void TFormMainCR::ShowAliveStatus(const AliveButtonView& view) {
    if (view.showRemoteArea) panRemoteScreens->show();
    if (view.fillPicture) imgRemoteScreen->ClearPicture();
    if (view.labelVisible && view.labelText &&
        (lblLostConnectionInfo->isHidden() || lblLostConnectionInfo->text() != translate(*view.labelText)))
        LogStatusText(*view.labelText);
    if (view.labelText) lblLostConnectionInfo->setText(translate(*view.labelText));
    if (view.buttonCaption) panReconnectButton->setText(translate(*view.buttonCaption));
    lblLostConnectionInfo->setVisible(view.labelVisible);
    panReconnectButton->setVisible(view.buttonVisible);
    PlaceAliveControls();
    if (view.repaint) panRemoteScreens->update();
}

void TFormMainCR::PlaceAliveControls() {
    // The button in the middle of the panel, the label centred above it with
    // its top 1.5 label heights above the button's.
    panReconnectButton->adjustSize();
    lblLostConnectionInfo->adjustSize();
    const QSize panel = panRemoteScreens->size();
    const QSize button = panReconnectButton->size();
    const QSize label = lblLostConnectionInfo->size();
    const int buttonTop = (panel.height() - button.height()) / 2;
    panReconnectButton->move((panel.width() - button.width()) / 2, buttonTop);
    lblLostConnectionInfo->move((panel.width() - label.width()) / 2, buttonTop - label.height() * 3 / 2);
    lblLostConnectionInfo->raise();
    panReconnectButton->raise();
}

void TFormMainCR::EndSession() {
    FCore.SetEndingSession();
    close();
}

void TFormMainCR::closeEvent(QCloseEvent* event) {
    if (FCore.Closing()) {
        event->accept();
        return;
    }
    if (!FCore.QueryClose()) {
        event->ignore();
        return;
    }
    FCore.CloseSequence();
    if (FTrayIcon) FTrayIcon->hide();
    event->accept();
    // The program ends here, also from inside a message box's own loop (a
    // logout while a box is open): exit() ends every running loop. Without a
    // running loop there is nothing to end, and a call would only make the
    // next loop return at once.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

}  // namespace corvala
