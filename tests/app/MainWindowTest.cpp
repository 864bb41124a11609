// The main window's creation, language menu and close paths, offscreen,
// with the real media engine library and a scratch program folder.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTemporaryDir>
#include <filesystem>

#include "app/CopyIcon.h"
#include "app/DesktopCopyForm.h"
#include "app/FormMainCR.h"
#include "base/ProcessState.h"
#include "core/AppCore.h"
#include "core/PayloadIntegrity.h"
#include "fakes/DesktopFakes.h"
#include "fakes/PlatformFakes.h"
#include "fakes/QtTestApplication.h"
#include "fakes/RecordingInjector.h"
#include "platform/CursorNames.h"
#include "i18n/Translator.h"
#include "media/WebrtcClientVcl.h"
#include "signalling/SignallingConnection.h"
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
        // The program folder as start-up leaves it: the delivered root file
        // and engine, which the integrity test compares with the build's.
        const fs::path bin = std::getenv("CORVALA_BIN_DIR");
        fs::copy_file(bin / "rt.so", Program("rt.so"));
        fs::copy_file(std::getenv("CORVALA_TEST_ROOT_CERT"), Program("cr2.dt"));
        qputenv("CORVALA_AUTO_ANSWER", "ok");
        qputenv("CORVALA_ICE_SERVERS", "");
        qputenv("CORVALA_SIGNALLING", "127.0.0.1:9");  // nothing listens: the link stays down
        qputenv("CORVALA_MESSAGE_LOG", (folder.path() + "/messages.log").toUtf8());
    }

    fs::path Program(const char* name) const { return fs::path(folder.path().toStdString()) / name; }

public:
    CoreEnvironment Environment() {
        CoreEnvironment env;
        env.Folders = {folder.path().toStdString(), (folder.path() + "/received").toStdString()};
        env.MachineFingerprint = "9PKN9B722B49";
        env.SupportContact = "help@example.test";
        env.WebSiteAddress = "http://site.test";
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
    windowProgram.core.HandleInstanceMessage({0xAAAB, 1111, 2223});
    windowProgram.core.HandleInstanceMessage({0xAAAA, 1111, 2222});
    EXPECT_TRUE(window.isHidden());
    windowProgram.core.HandleInstanceMessage({0xAAAB, 1111, 2222});
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

}  // namespace
}  // namespace corvala
