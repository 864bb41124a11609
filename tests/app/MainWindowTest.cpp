// The main window's creation, language menu, branding, remote area and close
// paths, offscreen, with the real media engine library, a scratch program
// folder and, where the connect action needs it, the real signalling server.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>

#include "ServerProcess.h"
#include "app/CopyIcon.h"
#include "app/DesktopCopyForm.h"
#include "app/BuildInfo.h"
#include "app/FormMainCR.h"
#include "app/ThirdPartyNotices.h"
#include "app/TerminationSignal.h"
#include "base/ProcessState.h"
#include "core/AppCore.h"
#include "core/PayloadIntegrity.h"
#include "dialogs/FormAddConnection.h"
#include "fakes/DesktopFakes.h"
#include "fakes/PlatformFakes.h"
#include "fakes/QtTestApplication.h"
#include "fakes/RecordingInjector.h"
#include "fakes/WindowProgramFolder.h"
#include "i18n/Translator.h"
#include "media/WebrtcClientVcl.h"
#include "platform/CursorNames.h"
#include "signalling/SignallingConnection.h"
#include "widgets/FormMessage.h"
#include "widgets/WindowChrome.h"
#include "window/TabStrip.h"

namespace corvala {
namespace {

namespace fs = std::filesystem;


class FakeSessionMonitor : public platform::ISessionMonitor {
public:
    bool active = true;
    std::function<void(platform::SessionChange)> handler;
    bool Start(std::function<void(platform::SessionChange)> h) override {
        handler = std::move(h);
        return true;
    }
    bool AnySessionActive() override { return active; }
};

class NoCursorNames : public platform::ICursorNames {
public:
    std::optional<std::string> CurrentCursorName() override { return std::nullopt; }
};

class MainWindowTest;

// Runs `answer` on the next modal window, from inside that window's own loop
// (within 10 s, or never).
void OnNextModal(std::function<void(QWidget*)> answer) {
    auto* poll = new QTimer;
    auto* waited = new QElapsedTimer;
    waited->start();
    QObject::connect(poll, &QTimer::timeout, [poll, waited, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && waited->elapsed() < 10000) return;
        poll->stop();
        poll->deleteLater();
        delete waited;
        if (modal) answer(modal);
    });
    poll->start(20);
}

QRgb Pixel(const QImage& image, QPoint at) { return image.pixel(at) & 0xFFFFFF; }

// With CORVALA_SCREENSHOT_DIR set (scripts/screenshots.sh), a window as drawn.
void SaveScreenshot(QWidget* window, const QString& name) {
    const QString folder = qEnvironmentVariable("CORVALA_SCREENSHOT_DIR");
    if (!folder.isEmpty()) window->grab().save(folder + "/" + name);
}

// The program as main.cpp puts it together: the core over the real media
// engine with platform fakes, and the main window as its view.
struct MainProgram {
    explicit MainProgram(MainWindowTest& test);
    bool Create() { return core.Create(window); }
    TAppCore core;
    TFormMainCR window;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        processState().EventsSuspended = false;
        processState().MasterMode = false;
        ASSERT_TRUE(folder.isValid());
        testsupport::PrepareWindowProgramFolder(folder.path());
    }

    void TearDown() override {
        processState().Branded = false;
        processState().Theme = ThemeColours::Default();
        processState().MasterMode = false;
        processState().EventsSuspended = false;
    }

    fs::path Program(const char* name) const { return fs::path(folder.path().toStdString()) / name; }

    // The real signalling server on loopback; the program joins it.
    void StartSignalling(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--port", "0", "--bind", "127.0.0.1", "--cert", testing::PkiFile("server.pem"),
                                      "--key", testing::PkiFile("server.key")};
        args.insert(args.end(), extra.begin(), extra.end());
        server = std::make_unique<testing::ServerProcess>("crsignal", args);
        ASSERT_NE(server->port(), 0) << "crsignal did not start";
        qputenv("CORVALA_SIGNALLING", QByteArray("127.0.0.1:") + QByteArray::number(server->port()));
    }

public:
    CoreEnvironment Environment() {
        CoreEnvironment env;
        env.Folders = {folder.path().toStdString(), (folder.path() + "/received").toStdString()};
        env.MachineFingerprint = "9PKN9B722B49";
        env.SupportContact = "help@example.test";
        // Nothing listens there: the update check at creation finds no answer
        // and sends nothing beyond this computer.
        env.WebSiteAddress = "http://127.0.0.1:9";
        env.TrustedFiles = DeliveredDigests();
        return env;
    }
    CorePlatform Platform() {
        CorePlatform platform{shell, injector, cursorNames};
        platform.SessionMonitor = &sessions;
        platform.Clipboard = &clipboard;
        platform.LoadEngine = [](const QString& folder) { return TWebRtcClientPort::Load(folder); };
        return platform;
    }

protected:

    QString Messages() const {
        QFile log(folder.path() + "/messages.log");
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    QTemporaryDir folder;
    fakes::FakeShell shell;
    testing_support::RecordingInjector injector;
    NoCursorNames cursorNames;
    FakeSessionMonitor sessions;
    std::unique_ptr<testing::ServerProcess> server;
    fakes::FakeClipboard clipboard;
};

MainProgram::MainProgram(MainWindowTest& test)
    : core(test.Environment(), test.Platform()), window(core, {"http://site.test", nullptr}) {}

TEST_F(MainWindowTest, FirstRunShowsIdentityAndRandomPassword) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create()) << Messages().toStdString();
    TFormMainCR& window = windowProgram.window;
    EXPECT_EQ(window.findChild<QLabel*>("lblCaption")->text(), "Corvala 4.2");
    const QString id = window.findChild<QLabel*>("lblId")->text();
    EXPECT_EQ(id.size(), 9);
    EXPECT_EQ(id, windowProgram.core.AppSettings().DeviceId);
    const QString password = window.findChild<QLabel*>("lblPassword")->text();
    EXPECT_EQ(password.size(), 6);
    EXPECT_EQ(password, windowProgram.core.AppSettings().HostPassword);
    EXPECT_FALSE(window.findChild<QPushButton*>("btnConnect")->isEnabled()) << "not joined yet";

    // The component as the window configures it.
    TWebRtcClientVcl* rtc = &windowProgram.core.Rtc().Client();
    ASSERT_NE(rtc, nullptr);
    EXPECT_FALSE(rtc->Active());
    EXPECT_EQ(rtc->VideoConstraints.MaxFramerate, 10);
    EXPECT_TRUE(rtc->IceServers.isEmpty()) << "CORVALA_ICE_SERVERS empty replaces the public servers";
    EXPECT_FALSE(rtc->VideoCallEnabled);
    EXPECT_EQ(rtc->CameraId, 0);
}

// The copy icon beside the ID, and beside the password while it is a random
// one: a click puts the value on this clipboard; it hides a moment after the
// pointer left.
TEST_F(MainWindowTest, CopyIconCopiesTheIdAndTheRandomPassword) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create()) << Messages().toStdString();
    TFormMainCR& window = windowProgram.window;
    window.show();
    auto* id = window.findChild<QLabel*>("lblId");
    auto* password = window.findChild<QLabel*>("lblPassword");
    auto* icon = window.findChild<TCopyIcon*>("ImageCopy");
    ASSERT_TRUE(id && password && icon);
    const auto enter = [](QWidget* widget) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(widget, &event);
    };
    const auto leave = [](QWidget* widget) {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    };

    enter(id);
    EXPECT_TRUE(icon->isVisible());
    EXPECT_EQ(icon->pos(), id->mapTo(icon->parentWidget(), QPoint(id->width(), 0)));
    EXPECT_EQ(icon->CursorIsUnder(), TCursorIsUnder::cuID);
    QTest::mouseClick(icon, Qt::LeftButton);
    enter(password);
    EXPECT_EQ(icon->CursorIsUnder(), TCursorIsUnder::cuPassword);
    QTest::mouseClick(icon, Qt::LeftButton);
    const Settings& settings = windowProgram.core.AppSettings();
    EXPECT_EQ(clipboard.setTexts, (std::vector<QString>{settings.DeviceId, settings.HostPassword}));
    EXPECT_EQ(icon->toolTip(), "Copied to clipboard");

    leave(password);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !icon->isVisible(); }, 2000));

    // A static password is not offered.
    windowProgram.core.AppSettings().RandomPasswordMode = false;
    enter(id);
    enter(password);
    EXPECT_FALSE(icon->isVisible());
}

// The core's timers are checked by the core's own test; the window keeps
// only its activity animation, started by the last creation step.
TEST_F(MainWindowTest, TimersExistWithTheirIntervalsAndStartStates) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    auto* animation = window.findChild<QTimer*>("TimerActivityAnimation");
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->interval(), 500);
    EXPECT_TRUE(animation->isActive());
    EXPECT_EQ(windowProgram.core.Timers().TimerDataTimeout->interval(), 1000);
    EXPECT_TRUE(windowProgram.core.Timers().TimerDataTimeout->isActive());
    // The signalling client's checker: enabled by its first, direct run.
    EXPECT_EQ(windowProgram.core.Signalling()->ServerConnectionChecker().interval(), 15000);
    // The attempt (refused at once here) ends on the main thread, which then
    // enables the checker for good.
    QElapsedTimer waited;
    waited.start();
    while (!windowProgram.core.Signalling()->ServerConnectionChecker().isActive() && waited.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(windowProgram.core.Signalling()->ServerConnectionChecker().isActive());
}

// While the own relay is set up: the hourglass and no connect button; after
// it: the default cursor, the button back, the activity animation stopped.
TEST_F(MainWindowTest, RelaySetupShowsTheHourglassAndHoldsTheConnectButton) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    auto* connect = window.findChild<QPushButton*>("btnConnect");
    auto* animation = window.findChild<QTimer*>("TimerActivityAnimation");
    ASSERT_TRUE(connect && animation);
    window.EnableConnectButton();
    IAppView& view = window;
    view.ShowRelaySetupRunning(true);
    EXPECT_FALSE(connect->isEnabled());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    window.show();
    QApplication::processEvents();
    const int expanded = window.height();
    view.ShowRelaySetupRunning(false);
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(animation->isActive());
    // The stopped indicator keeps its place: after a session the window
    // comes back to the height it had.
    view.CollapseForSession();
    view.ExpandAfterSessions();
    QApplication::processEvents();
    EXPECT_EQ(window.height(), expanded);
}

TEST_F(MainWindowTest, SettingsSurviveARestartAndStaticPasswordsShowBullets) {
    QString id;
    {
        MainProgram firstProgram(*this);
        ASSERT_TRUE(firstProgram.Create());
        TFormMainCR& first = firstProgram.window;
        id = firstProgram.core.AppSettings().DeviceId;
        firstProgram.core.AppSettings().RandomPasswordMode = false;
        firstProgram.core.AppSettings().HostPassword = "secret7";
        qputenv("CORVALA_AUTO_ANSWER", "ok");
        EXPECT_TRUE(first.close());  // the close query asks; the automatic answer is OK
    }
    MainProgram secondProgram(*this);
    ASSERT_TRUE(secondProgram.Create());
    TFormMainCR& second = secondProgram.window;
    EXPECT_EQ(second.findChild<QLabel*>("lblId")->text(), id);
    EXPECT_EQ(second.findChild<QLabel*>("lblPassword")->text(), QString(7, QChar(0x25CF)));
}

TEST_F(MainWindowTest, RefusedWelcomeEndsTheProgram) {
    qputenv("CORVALA_AUTO_ANSWER", "cancel");
    MainProgram windowProgram(*this);
    EXPECT_FALSE(windowProgram.Create());
    EXPECT_TRUE(processState().EventsSuspended);
    EXPECT_FALSE(fs::exists(Program("set.dt")));
}

TEST_F(MainWindowTest, TamperedEngineFailsTheIntegrityTest) {
    QFile engine(QString::fromStdString(Program("rt.so").string()));
    ASSERT_TRUE(engine.open(QIODevice::Append));
    engine.write("x");
    engine.close();
    MainProgram windowProgram(*this);
    EXPECT_FALSE(windowProgram.Create());
    EXPECT_TRUE(processState().EventsSuspended);
    EXPECT_TRUE(Messages().contains("Error\tError 286.Please contact developers (help@example.test).")) << Messages().toStdString();
}

TEST_F(MainWindowTest, ChoosingALanguageRetranslatesAndIsStored) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    QMenu* languages = window.MenuAction("Language")->menu();
    ASSERT_NE(languages, nullptr);
    ASSERT_EQ(languages->actions().size(), 11);
    QAction* german = nullptr;
    for (QAction* item : languages->actions())
        if (item->text() == "Deutsch") german = item;
    ASSERT_NE(german, nullptr);
    german->trigger();
    for (QAction* item : languages->actions()) EXPECT_EQ(item->isChecked(), item == german) << item->text().toStdString();
    EXPECT_EQ(window.findChild<QLabel*>("lblYourId")->text(), "Eigene ID:");
    EXPECT_EQ(window.findChild<QPushButton*>("btnConnect")->text(), "Verbinden...");

    Settings stored(windowProgram.core.AppSettings().environment());
    ASSERT_TRUE(stored.read());
    EXPECT_EQ(stored.LanguageCode, "de");
    translator().setLanguageIndex(0);
}

TEST_F(MainWindowTest, SessionEndClosesWithoutQuestionsAndWritesSettings) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    fs::create_directory(Program("~i"));  // automatic start on: a normal close would ask
    qputenv("CORVALA_AUTO_ANSWER", "cancel");
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(processState().EventsSuspended);
    window.EndSession();
    EXPECT_TRUE(processState().EventsSuspended);
    EXPECT_TRUE(fs::exists(Program("set.dt")));
    EXPECT_EQ(Messages().count("Confirm\t"), 1) << "only the refused normal close asked";
}

TEST_F(MainWindowTest, SecondInstanceMessageShowsOnlyForTheExactValues) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    window.hide();
    windowProgram.core.HandleInstanceMessage({0xAAAB, 1111, 2223, {}});
    windowProgram.core.HandleInstanceMessage({0xAAAA, 1111, 2222, {}});
    EXPECT_TRUE(window.isHidden());
    windowProgram.core.HandleInstanceMessage({0xAAAB, 1111, 2222, {}});
    EXPECT_FALSE(window.isHidden());
}

TEST_F(MainWindowTest, LockScreenModeFollowsTheSessions) {
    sessions.active = false;
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    EXPECT_TRUE(processState().LockScreenMode);
    sessions.handler(platform::SessionChange::Unlocked);
    EXPECT_FALSE(processState().LockScreenMode);
    sessions.handler(platform::SessionChange::Locked);
    EXPECT_TRUE(processState().LockScreenMode);
    // The copy window shown for a session while locked closes at the unlock.
    ASSERT_NE(window.DesktopCopyForm(), nullptr);
    window.DesktopCopyForm()->ShowCovering(640, 400);
    sessions.handler(platform::SessionChange::Unlocked);
    EXPECT_FALSE(processState().LockScreenMode);
    EXPECT_FALSE(window.DesktopCopyForm()->Showing());
    processState().LockScreenMode = false;
}

TEST_F(MainWindowTest, CaptionShowsTheDemonstrationModeWithoutTheVersion) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    auto* caption = window.findChild<QLabel*>("lblCaption");
    window.MenuAction("Allow only viewing")->trigger();
    EXPECT_EQ(caption->text(), "DEMONSTRATION - Corvala");
    window.MenuAction("Allow only viewing")->trigger();
    EXPECT_EQ(caption->text(), "Corvala 4.2");
}

TEST_F(MainWindowTest, HostWindowCollapsesToItsCaptionAndComesBackToItsSize) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    window.show();
    const QSize expanded = window.size();
    auto* collapse = window.findChild<QAbstractButton*>("btnCollapse");
    ASSERT_NE(collapse, nullptr);
    collapse->click();
    EXPECT_TRUE(window.Collapsed());
    EXPECT_LT(window.height(), 50);
    EXPECT_EQ(window.y(), 1);
    EXPECT_FALSE(window.findChild<QWidget*>("panHost")->isVisible());
    collapse->click();
    EXPECT_EQ(window.size(), expanded);
    EXPECT_TRUE(window.findChild<QWidget*>("panHost")->isVisible());
}

// The viewer layout on its stored rectangle, resized by a real drag of the
// right border, maximised (no border drags), restored, and the rectangle
// back after a restart.
TEST_F(MainWindowTest, ViewerLayoutKeepsItsBorderResizedRectangleAcrossARestart) {
    {
        MainProgram windowProgram(*this);
        ASSERT_TRUE(windowProgram.Create());
        TFormMainCR& window = windowProgram.window;
        window.show();
        processState().MasterMode = true;
        windowProgram.core.AppSettings().MasterModeWindowRect = {100, 80, 700, 520};
        window.SwitchToViewerLayout();
        EXPECT_EQ(window.geometry(), QRect(100, 80, 600, 440));
        EXPECT_FALSE(window.findChild<QWidget*>("panHost")->isVisible());
        EXPECT_FALSE(window.findChild<QWidget*>("btnHideToTray")->isVisible());
        EXPECT_FALSE(window.findChild<QWidget*>("btnCollapse")->isVisible());
        EXPECT_TRUE(window.findChild<QWidget*>("tabStrip")->isVisible());
        EXPECT_TRUE(window.findChild<QWidget*>("btnFullScreen")->isVisible());
        EXPECT_FALSE(window.findChild<QWidget*>("pnlToolbar")->isVisible()) << "the toolbar comes with the first tab";
        for (const char* key : {"Set Password", "Set Whitelist", "Set Display Name", "Allow only viewing"})
            EXPECT_FALSE(window.MenuAction(key)->isVisible()) << key;

        auto* right = window.findChild<QWidget*>("Shape2");
        ASSERT_TRUE(right && right->isVisible());
        QTest::mousePress(right, Qt::LeftButton, {}, QPoint(2, 100));
        QTest::mouseMove(right, QPoint(52, 130));
        QTest::mouseRelease(right, Qt::LeftButton, {}, QPoint(52, 130));
        EXPECT_EQ(window.geometry(), QRect(100, 80, 650, 440));

        auto* maximize = window.findChild<QAbstractButton*>("btnMaximize");
        maximize->click();
        EXPECT_TRUE(window.Maximized());
        EXPECT_EQ(window.geometry(), QGuiApplication::primaryScreen()->availableGeometry());
        right = window.findChild<QWidget*>("Shape2");
        QTest::mousePress(right, Qt::LeftButton, {}, QPoint(2, 100));
        QTest::mouseMove(right, QPoint(-100, 100));
        QTest::mouseRelease(right, Qt::LeftButton, {}, QPoint(-100, 100));
        EXPECT_EQ(window.geometry(), QGuiApplication::primaryScreen()->availableGeometry());
        maximize->click();
        EXPECT_EQ(window.geometry(), QRect(100, 80, 650, 440));
        EXPECT_TRUE(window.close());
    }
    processState().MasterMode = false;
    processState().EventsSuspended = false;
    MainProgram secondProgram(*this);
    ASSERT_TRUE(secondProgram.Create());
    const WindowRect stored = secondProgram.core.AppSettings().MasterModeWindowRect;
    EXPECT_EQ(stored, (WindowRect{100, 80, 750, 520}));
    EXPECT_FALSE(secondProgram.core.AppSettings().Maximized);
}

TEST_F(MainWindowTest, DraggingKeepsTheHostOnTheScreenAndMovesTheViewerAnywhere) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    window.show();
    const QPoint start = window.pos();
    auto* label = window.findChild<QLabel*>("lblCaption");
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(label, QPoint(5 - 5000, 25));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(5 - 5000, 25));
    EXPECT_EQ(window.pos(), start + QPoint(0, 20)) << "only the axis that stays on the screen moves";

    processState().MasterMode = true;
    windowProgram.core.AppSettings().MasterModeWindowRect = {100, 80, 700, 520};
    window.SwitchToViewerLayout();
    auto* strip = window.findChild<QWidget*>("tabStrip");
    const QPoint grip(strip->width() - 100, 10);
    QTest::mousePress(strip, Qt::LeftButton, {}, grip);
    QTest::mouseMove(strip, grip + QPoint(-400, 300));
    QTest::mouseRelease(strip, Qt::LeftButton, {}, grip + QPoint(-400, 300));
    EXPECT_EQ(window.geometry(), QRect(-300, 380, 600, 440));
    EXPECT_EQ(windowProgram.core.AppSettings().MasterModeWindowRect, (WindowRect{-300, 380, 300, 820}));

    window.findChild<QAbstractButton*>("btnMaximize")->click();
    const QRect workArea = window.geometry();
    QTest::mousePress(strip, Qt::LeftButton, {}, grip);
    QTest::mouseMove(strip, grip + QPoint(50, 50));
    QTest::mouseRelease(strip, Qt::LeftButton, {}, grip + QPoint(50, 50));
    EXPECT_EQ(window.geometry(), workArea) << "a maximised viewer does not move";
    EXPECT_EQ(windowProgram.core.AppSettings().MasterModeWindowRect, (WindowRect{-300, 380, 300, 820}));
}

// A host with a connected viewer stays visible and says so in its caption;
// once the viewer is gone it can be minimised again.
TEST_F(MainWindowTest, HostWithAViewerCannotBeMinimised) {
    MainProgram windowProgram(*this);
    ASSERT_TRUE(windowProgram.Create());
    TFormMainCR& window = windowProgram.window;
    window.show();
    TWebRtcClientVcl& rtc = windowProgram.core.Rtc().Client();
    rtc.VideoCallEnabled = false;
    rtc.SetActive(true);
    ASSERT_TRUE(rtc.Active());
    rtc.AddPeer("111222333", rtc.FindEndPoint());
    window.UpdateWindowCaption();
    EXPECT_EQ(window.findChild<QLabel*>("lblCaption")->text(), "Connections: 1");

    window.showMinimized();
    EXPECT_FALSE(window.isMinimized());

    rtc.EndCall("111222333");
    window.UpdateWindowCaption();
    EXPECT_EQ(window.findChild<QLabel*>("lblCaption")->text(), "Corvala 4.2");
    window.showMinimized();
    EXPECT_TRUE(window.isMinimized());
    rtc.SetActive(false);
}

// The remote area of a viewer without connections: its status and its
// "Connect..." button centred over the picture, the picture's colour all
// around them; a real click on the button opens the connection dialog, as
// the host panel's connect button does.
TEST_F(MainWindowTest, RemoteAreaConnectButtonIsCentredAndOpensTheConnectionDialog) {
    StartSignalling();
    MainProgram program(*this);
    ASSERT_TRUE(program.Create());
    TFormMainCR& window = program.window;
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.core.ConnectedToSignalServer(); }, 20000));
    auto* hostConnect = window.findChild<QPushButton*>("btnConnect");
    ASSERT_TRUE(QTest::qWaitFor([&] { return hostConnect->isEnabled(); }, 5000));

    QStringList dialogs;
    const auto cancelDialog = [&](QWidget* dialog) {
        dialogs << dialog->metaObject()->className();
        if (auto* cancel = dialog->findChild<QPushButton*>("btnCancel")) QTest::mouseClick(cancel, Qt::LeftButton);
    };
    // The host panel's button switches to the viewer layout and asks first.
    OnNextModal(cancelDialog);
    QTest::mouseClick(hostConnect, Qt::LeftButton);
    ASSERT_EQ(dialogs, QStringList{"corvala::TFormAddConnection"});
    ASSERT_TRUE(processState().MasterMode);

    auto* panel = window.findChild<QWidget*>("panRemoteScreens");
    auto* label = window.findChild<QLabel*>("lblLostConnectionInfo");
    auto* button = window.findChild<QPushButton*>("panReconnectButton");
    ASSERT_TRUE(panel->isVisible() && label->isVisible() && button->isVisible());
    EXPECT_EQ(label->text(), "No connections.");
    EXPECT_EQ(button->text(), "Connect...");

    const QImage area = panel->grab().toImage();
    const QRgb background = processState().Theme.RemoteAreaColour;
    const QRect buttonBox = button->geometry();
    const QRect labelBox = label->geometry();
    EXPECT_LE(std::abs(buttonBox.center().x() - panel->width() / 2), 1) << "button not centred across";
    EXPECT_LE(std::abs(buttonBox.center().y() - panel->height() / 2), 1) << "button not centred down";
    EXPECT_LE(std::abs(labelBox.center().x() - panel->width() / 2), 1) << "label not centred across";
    EXPECT_LT(labelBox.bottom(), buttonBox.top()) << "the label belongs above the button";
    // The picture's colour fills the area: its corners, the rows below the
    // button down to the bottom edge, the gap above the button and the
    // label's own background.
    for (QPoint at : {QPoint(2, 2), QPoint(panel->width() - 3, 2), QPoint(2, panel->height() - 3),
                      QPoint(panel->width() / 2, panel->height() - 3), QPoint(panel->width() - 3, panel->height() - 3),
                      QPoint(panel->width() / 2, (buttonBox.bottom() + panel->height()) / 2),
                      QPoint(panel->width() / 2, buttonBox.top() - 2), QPoint(labelBox.left() + 1, labelBox.top() + 1)})
        EXPECT_EQ(Pixel(area, at), background) << "at " << at.x() << "," << at.y();
    EXPECT_EQ(Pixel(area, QPoint(buttonBox.left() + 3, buttonBox.center().y())), processState().Theme.ButtonColour);
    bool labelInked = false;
    for (int x = labelBox.left(); x <= labelBox.right(); ++x)
        labelInked |= Pixel(area, QPoint(x, labelBox.center().y())) != background;
    EXPECT_TRUE(labelInked) << "no status text over the picture";

    OnNextModal(cancelDialog);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(dialogs, (QStringList{"corvala::TFormAddConnection", "corvala::TFormAddConnection"}))
        << "the remote area's button did not open the connection dialog";
    EXPECT_TRUE(button->isVisible()) << "cancelled: the area offers to connect again";
}

// A branded build ("crcustom1.txt" in the program folder), one case per
// file: the contact text instead of the connect button, the named picture as
// the main banner, and an unreadable file leaving the normal layout.
TEST_F(MainWindowTest, BrandingFileDecidesContactBannerAndLayout) {
    struct Case {
        const char* name;
        std::optional<QByteArray> file;  // none: unreadable (a folder of that name)
        bool picture;                    // "logo.png" in the program folder
        bool connectShown;
        QString contact;  // empty: not shown
        bool bannerPicture;
        bool errorShown;
    };
    const Case cases[] = {
        {"two lines", "Call Ulla: +46 555 0100\r\nlogo.png\r\n", true, false, "Call Ulla: +46 555 0100", true, false},
        {"two lines, picture absent", "Call us\nlogo.png\n", false, false, "Call us", false, false},
        {"one line", "Only one line\n", true, false, "", false, false},
        {"unreadable", std::nullopt, true, true, "", false, true},
    };
    const QRgb logoColour = 0xC0187A;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(folder.path() + "/messages.log");
        QFile::remove(folder.path() + "/logo.png");
        QFile::remove(folder.path() + "/crcustom1.txt");
        QDir(folder.path()).rmdir("crcustom1.txt");
        if (c.picture) {
            QImage logo(200, 50, QImage::Format_RGB32);
            logo.fill(logoColour);
            ASSERT_TRUE(logo.save(folder.path() + "/logo.png"));
        }
        if (c.file) {
            QFile branding(folder.path() + "/crcustom1.txt");
            ASSERT_TRUE(branding.open(QIODevice::WriteOnly));
            branding.write(*c.file);
        } else {
            ASSERT_TRUE(QDir(folder.path()).mkdir("crcustom1.txt"));
        }
        // As start-up leaves a branded build.
        processState().Branded = true;
        processState().Theme = ThemeColours::Branded();

        MainProgram program(*this);
        ASSERT_TRUE(program.Create());
        TFormMainCR& window = program.window;
        window.show();
        EXPECT_EQ(window.findChild<QPushButton*>("btnConnect")->isVisible(), c.connectShown);
        EXPECT_EQ(window.findChild<QLabel*>("lblContactCaption")->isVisible(), !c.connectShown);
        auto* contact = window.findChild<QLabel*>("lblContact");
        EXPECT_EQ(contact->isVisible(), !c.contact.isEmpty());
        if (!c.contact.isEmpty()) {
            EXPECT_EQ(contact->text(), c.contact);
        }
        EXPECT_EQ(Messages().contains("Error code: 3823. Please contact developers."), c.errorShown)
            << Messages().toStdString();

        // The banner: at the left edge of the host panel's text block, as
        // wide as it; the picture (in its proportions) or the drawn one.
        auto* banner = window.findChild<QWidget*>("imgBanner");
        auto* heading = window.findChild<QLabel*>("lblHeading");
        ASSERT_TRUE(banner && banner->isVisible());
        EXPECT_EQ(banner->x(), heading->x());
        EXPECT_EQ(banner->width(), heading->width());
        const QImage shown = banner->grab().toImage();
        if (c.bannerPicture) {
            EXPECT_EQ(banner->height(), banner->width() / 4);
            EXPECT_EQ(Pixel(shown, QPoint(banner->width() / 2, banner->height() / 2)), logoColour);
        } else {
            EXPECT_EQ(Pixel(shown, QPoint(2, 2)), processState().Theme.CaptionColour);
        }

        // A click on the contact text copies it, and says so.
        if (!c.contact.isEmpty()) {
            QGuiApplication::clipboard()->clear();
            QTest::mouseClick(contact, Qt::LeftButton);
            EXPECT_EQ(QGuiApplication::clipboard()->text(), c.contact);
            auto* hint = window.findChild<QLabel*>("lblCopiedHint");
            ASSERT_NE(hint, nullptr);
            EXPECT_TRUE(hint->isVisible());
            EXPECT_EQ(hint->text(), "Copied to clipboard");
            EXPECT_GE(hint->y(), contact->mapToGlobal(QPoint(0, contact->height())).y()) << "just below the text";
            EXPECT_TRUE(contact->toolTip().isEmpty()) << "the hint follows the click, it is no permanent tooltip";
            EXPECT_TRUE(QTest::qWaitFor([&] { return !hint->isVisible(); }, 5000)) << "the hint stays";
        }
        EXPECT_TRUE(window.close());
        processState().EventsSuspended = false;
    }
}

// The licence link of the first-run welcome opens the page the way every
// page opens: through the core and the desktop's shell.
TEST_F(MainWindowTest, WelcomeLicenceLinkOpensThroughTheShell) {
    qunsetenv("CORVALA_AUTO_ANSWER");  // the real window, modal
    bool shown = false;
    OnNextModal([&](QWidget* welcome) {
        shown = true;
        auto* licence = welcome->findChild<QLabel*>("lblLicense");
        ASSERT_NE(licence, nullptr);
        QTest::mouseClick(licence, Qt::LeftButton, {}, licence->rect().center());
        QTest::mouseClick(welcome->findChild<QPushButton*>("btnAccept"), Qt::LeftButton);
    });
    MainProgram program(*this);
    EXPECT_TRUE(program.Create()) << "accepted";
    EXPECT_TRUE(shown);
    EXPECT_EQ(
        std::count(shell.calls.begin(), shell.calls.end(), fakes::ShellCall{"open", "http://site.test/eula/", ""}), 1);
}

// Logout ends the program with SIGTERM: it closes without questions even
// while a message box waits for an answer, and its event loop ends.
TEST_F(MainWindowTest, TerminationEndsTheProgramWhileAMessageBoxIsOpen) {
    MainProgram program(*this);
    ASSERT_TRUE(program.Create());
    TFormMainCR& window = program.window;
    window.show();
    fs::create_directory(Program("~i"));  // automatic start on: a normal close would ask
    TTerminationSignal termination;
    QObject::connect(&termination, &TTerminationSignal::Received, &window, &TFormMainCR::EndSession);
    qunsetenv("CORVALA_AUTO_ANSWER");  // a real box, waiting
    bool boxShown = false;
    bool boxReturned = false;
    QTimer::singleShot(0, [&] {
        ShowAppMessage(true, MessageKind::Warning, "Waiting for an answer");
        boxReturned = true;
    });
    OnNextModal([&](QWidget*) {
        boxShown = true;
        ::kill(::getpid(), SIGTERM);
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    deadline.start(10000);
    EXPECT_EQ(QApplication::exec(), 0) << "the event loop did not end";
    EXPECT_TRUE(boxShown);
    EXPECT_TRUE(boxReturned);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(processState().EventsSuspended);
    EXPECT_TRUE(fs::exists(Program("set.dt")));
    EXPECT_FALSE(Messages().contains("Confirm\t")) << "no question at a session's end";
}

// The help menu's About window: the version, the build, the contact, the
// links through the shell, and a notice for every library.
TEST_F(MainWindowTest, AboutWindowShowsTheVersionTheBuildAndEveryNotice) {
    MainProgram program(*this);
    ASSERT_TRUE(program.Create());
    bool checked = false;
    OnNextModal([&](QWidget* about) {
        checked = true;
        EXPECT_STREQ(about->metaObject()->className(), "corvala::TFormAbout");
        EXPECT_EQ(about->findChild<QLabel*>("lblProduct")->text(), "Corvala 4.2");
        EXPECT_TRUE(about->findChild<QLabel*>("lblBuild")->text().contains(QString::fromLatin1(BuildCommit())));
        EXPECT_TRUE(about->findChild<QLabel*>("lblSupport")->text().endsWith("help@example.test"));
        const auto* notices = about->findChild<QTreeWidget*>("twNotices");
        ASSERT_NE(notices, nullptr);
        EXPECT_EQ(notices->topLevelItemCount(), ThirdPartyNotices().size());
        EXPECT_GT(notices->topLevelItemCount(), 40);
        SaveScreenshot(about, "about.png");
        QTest::mouseClick(about->findChild<QLabel*>("lblLicense"), Qt::LeftButton);
        QTest::mouseClick(about->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
    });
    program.window.MenuAction("About")->trigger();
    EXPECT_TRUE(checked);
    ASSERT_FALSE(shell.calls.empty());
    EXPECT_EQ(shell.calls.back(), (fakes::ShellCall{"open", "http://site.test/eula/", ""}));
}

// A review written in the window reaches the server's reviews file exactly:
// non-ASCII text, and the longest text a line can carry. One character more
// is refused in the window, never cut on the wire.
TEST_F(MainWindowTest, ReviewWindowSendsTheReviewExactlyAndRefusesWhatIsTooLong) {
    const fs::path reviews = Program("reviews.jsonl");
    StartSignalling({"--reviews", reviews.string()});
    MainProgram program(*this);
    ASSERT_TRUE(program.Create());
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.core.ConnectedToSignalServer(); }, 20000));
    const QString id = program.core.AppSettings().DeviceId;

    // The longest text: non-ASCII at the start, filled up with letters.
    TReview longest;
    longest.Ratings = {5, 4, 3, 2};
    longest.Text = QString::fromUtf8("Très bien, 李 \"quoted\"\n");
    while (longest.Excess(id, true) < 0) longest.Text += 'a';
    ASSERT_EQ(longest.Excess(id, true), 0);

    bool sent = false;
    OnNextModal([&](QWidget* window) {
        for (int row = 0; row < 4; ++row) {
            auto* option = window->findChild<QRadioButton*>(QString("rbRating%1_%2").arg(row).arg(5 - row));
            ASSERT_NE(option, nullptr);
            QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(4, option->height() / 2));
        }
        auto* text = window->findChild<QPlainTextEdit*>("memReview");
        auto* send = window->findChild<QPushButton*>("btnSend");
        text->setPlainText(QString::fromUtf8("Fast and clear picture, très bien."));
        SaveScreenshot(window, "review.png");
        text->setPlainText(longest.Text + 'x');
        QTest::mouseClick(send, Qt::LeftButton);
        EXPECT_TRUE(window->isVisible()) << "a refused review keeps its window";
        text->setPlainText(longest.Text);
        QTest::mouseClick(send, Qt::LeftButton);
        sent = !window->isVisible();
    });
    program.window.MenuAction("Send Feedback")->trigger();
    EXPECT_TRUE(sent);
    EXPECT_TRUE(Messages().contains("Warning\tThe text is too long by 1 characters."));
    EXPECT_TRUE(Messages().contains("Information\tThank you for your feedback!"));

    QString stored;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QFile file(QString::fromStdString(reviews.string()));
            if (!file.open(QIODevice::ReadOnly)) return false;
            stored = QString::fromUtf8(file.readAll());
            return !stored.isEmpty();
        },
        10000));
    const QJsonObject record = QJsonDocument::fromJson(stored.toUtf8()).object();
    EXPECT_EQ(record.value("from").toString(), id);
    EXPECT_EQ(record.value("review").toString(), longest.Payload(id, true)) << "byte for byte, not cut";
    EXPECT_TRUE(record.value("review").toString().startsWith("ID:" + id + "; first review:yes; ratings:5432; review:"));
}

// The connection dialog's warning strip opens the routing window, which names
// the stored relay port and opens the manual's page through the shell.
TEST_F(MainWindowTest, WarningStripOpensTheRoutingWindow) {
    MainProgram program(*this);
    ASSERT_TRUE(program.Create());
    program.core.AppSettings().RelayPort = 5777;
    auto* dialog = program.window.findChild<TFormAddConnection*>();
    ASSERT_NE(dialog, nullptr);
    dialog->show();
    QString message;
    OnNextModal([&](QWidget* routing) {
        if (auto* label = routing->findChild<QLabel*>("lblMessage")) message = label->text();
        if (auto* link = routing->findChild<QLabel*>("lblLink")) QTest::mouseClick(link, Qt::LeftButton);
        if (auto* ok = routing->findChild<QPushButton*>("btnOK")) QTest::mouseClick(ok, Qt::LeftButton);
    });
    QTest::mouseClick(dialog->findChild<QWidget*>("panWarning"), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(message.contains("from public port 5777 to ")) << message.toStdString();
    EXPECT_EQ(std::count(shell.calls.begin(), shell.calls.end(),
                         fakes::ShellCall{"open", "http://site.test/manual/port-forwarding.htm", ""}),
              1);
    dialog->hide();
}

// The settings menu's credential items and the help menu's log reach their
// windows through the core: what the user types there lands in the
// settings and on the host panel.
TEST_F(MainWindowTest, CredentialItemsOpenTheirDialogsAndStoreWhatIsConfirmed) {
    MainProgram program(*this);
    ASSERT_TRUE(program.Create());
    Settings& settings = program.core.AppSettings();
    struct Case {
        const char* menuKey;
        const char* className;
        std::function<void(QWidget*)> user;
        const char* screenshot;
    };
    const Case cases[] = {
        {"Set Password", "corvala::TFormPassword",
         [](QWidget* dialog) {
             dialog->findChild<QCheckBox*>("chkBox")->setChecked(false);
             QTest::keyClicks(dialog->findChild<QLineEdit*>("edtPsw"), "static-1");
             QTest::keyClicks(dialog->findChild<QLineEdit*>("edtConfirm"), "static-1");
             QTest::keyClick(dialog->findChild<QLineEdit*>("edtConfirm"), Qt::Key_Return);
         },
         "set-password.png"},
        {"Set Display Name", "corvala::TFormDisplayName",
         [](QWidget* dialog) {
             auto* edit = dialog->findChild<QLineEdit*>("edtName");
             edit->clear();
             QTest::keyClicks(edit, "Office (2)");
             QTest::keyClick(edit, Qt::Key_Return);
         },
         "set-display-name.png"},
        {"Set Whitelist", "corvala::TFormWhitelist",
         [](QWidget* dialog) {
             dialog->findChild<QCheckBox*>("chkEnabled")->setChecked(true);
             dialog->findChild<QPlainTextEdit*>("memList")->setPlainText("111222333\n444555666");
             QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
         },
         "set-whitelist.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menuKey);
        bool shown = false;
        OnNextModal([&](QWidget* dialog) {
            shown = true;
            EXPECT_STREQ(dialog->metaObject()->className(), c.className);
            c.user(dialog);
            SaveScreenshot(dialog, c.screenshot);
        });
        QAction* item = program.window.MenuAction(c.menuKey);
        ASSERT_TRUE(item && item->isEnabled());
        item->trigger();
        EXPECT_TRUE(shown);
    }
    EXPECT_FALSE(settings.RandomPasswordMode);
    EXPECT_EQ(settings.HostPassword, "static-1");
    EXPECT_EQ(program.window.findChild<QLabel*>("lblPassword")->text(), QString(8, QChar(0x25CF)));
    EXPECT_EQ(settings.DisplayName, "Office 2");
    EXPECT_TRUE(settings.WhiteListEnabled);
    EXPECT_EQ(settings.WhiteList, QStringList({"111222333", "444555666"}));

    // The connection log opens on the history, with "Clear" while no peer
    // is connected.
    bool logShown = false;
    OnNextModal([&](QWidget* window) {
        logShown = true;
        EXPECT_STREQ(window->metaObject()->className(), "corvala::TFormConnectionsLog");
        EXPECT_TRUE(window->findChild<QPushButton*>("btnOK")->isVisible());
        SaveScreenshot(window, "connection-log.png");
        QTest::mouseClick(window->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
    program.window.MenuAction("Connection Log")->trigger();
    EXPECT_TRUE(logShown);
}

}  // namespace
}  // namespace corvala
