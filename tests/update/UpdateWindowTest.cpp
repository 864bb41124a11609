// What the main window shows of the site's answers, and the printer driver's
// download window, offscreen: the real core and main window over the real
// media engine library, against the real crweb over TLS (the development
// PKI) on loopback. Message boxes answer "OK" by themselves and are logged.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "UpdateTestSupport.h"
#include "app/FormMainCR.h"
#include "app/FormVelmoraPrinterDownload.h"
#include "base/ProcessState.h"
#include "core/AppCore.h"
#include "core/PayloadIntegrity.h"
#include "fakes/DesktopFakes.h"
#include "fakes/PlatformFakes.h"
#include "fakes/QtTestApplication.h"
#include "fakes/RecordingInjector.h"
#include "fakes/WindowProgramFolder.h"
#include "i18n/Translator.h"
#include "media/WebrtcClientVcl.h"
#include "platform/CursorNames.h"
#include "platform/linux/LinuxShell.h"

namespace corvala {
namespace {

namespace fs = std::filesystem;
using update_test::WebSite;

class NoCursorNames : public platform::ICursorNames {
public:
    std::optional<std::string> CurrentCursorName() override { return std::nullopt; }
};

class UpdateWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        processState().EventsSuspended = false;
        processState().MasterMode = false;
        testsupport::PrepareWindowProgramFolder(folder.path());
    }
    void TearDown() override { processState().EventsSuspended = false; }

    fs::path Program(const char* name) const { return fs::path(folder.path().toStdString()) / name; }

    void StartSite(const std::string& answer, std::vector<std::string> extra = {}) {
        site.SetVersionAnswer(answer);
        ASSERT_TRUE(site.Start(extra));
    }

    // The program made and created as main.cpp does; true once the update
    // check has ended.
    bool CreateProgram() {
        CoreEnvironment env;
        env.Folders = {folder.path().toStdString(), (folder.path() + "/received").toStdString()};
        env.MachineFingerprint = "9PKN9B722B49";
        env.SupportContact = "help@example.test";
        env.WebSiteAddress = site.Address();
        env.TrustedFiles = DeliveredDigests();
        CorePlatform platform{*shellInUse, injector, cursorNames};
        platform.Clipboard = &clipboard;
        platform.LoadEngine = [](const QString& f) { return TWebRtcClientPort::Load(f); };
        core = std::make_unique<TAppCore>(env, platform);
        window = std::make_unique<TFormMainCR>(*core, MainWindowEnvironment{env.WebSiteAddress, nullptr});
        if (!core->Create(*window)) return false;
        bool checked = false;
        QObject::connect(&core->Update(), &update::TUpdate::CheckFinished, [&] { checked = true; });
        window->show();
        return QTest::qWaitFor([&] { return checked; }, 30000);
    }

    template <typename T>
    T* Child(const char* name) const {
        return window->findChild<T*>(name);
    }
    QString Messages() const {
        QFile log(folder.path() + "/messages.log");
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    QTemporaryDir folder;
    WebSite site;
    fakes::FakeShell shell;
    platform::IShell* shellInUse = &shell;
    testing_support::RecordingInjector injector;
    NoCursorNames cursorNames;
    fakes::FakeClipboard clipboard;
    std::unique_ptr<TAppCore> core;
    std::unique_ptr<TFormMainCR> window;
};

TEST_F(UpdateWindowTest, VersionAnswersShowTheirOutcome) {
    const QString outOfDate =
        "This version of the software is out of date. You must download the current version 4.3 to continue using "
        "the software.\n\nWhat's new:\nCorvala 4.2 for Linux desktops\n";
    struct Case {
        const char* answer;
        bool toolImage;
        QString hint;
        QString headingStart;  // empty: the usual heading
    } const cases[] = {
        {"43/40", true, "The new version 4.3 is available", {}},
        {"43/43", false, {}, outOfDate},
        {"42/40", false, {}, {}},
        {"100/40", true, "The new version 10.0 is available", {}},
        {"abc", false, {}, {}},
    };
    for (const Case& c : cases) {
        StartSite(c.answer);
        ASSERT_TRUE(CreateProgram()) << c.answer;
        QWidget* tool = Child<QWidget>("imgUpdate");
        ASSERT_NE(tool, nullptr);
        EXPECT_EQ(tool->isVisible(), c.toolImage) << c.answer;
        if (c.toolImage) {
            EXPECT_EQ(tool->toolTip(), c.hint) << c.answer;
        }
        const bool notice = !c.headingStart.isEmpty();
        const QString heading = Child<QLabel>("lblHeading")->text();
        if (notice) {
            EXPECT_TRUE(heading.startsWith(c.headingStart)) << c.answer << ": " << heading.toStdString();
        } else {
            EXPECT_EQ(heading, "Use the following credentials to allow remote access to this device:") << c.answer;
        }
        EXPECT_EQ(Child<QLabel>("lblId")->isVisible(), !notice) << c.answer;
        EXPECT_EQ(Child<QLabel>("lblPassword")->isVisible(), !notice) << c.answer;
        EXPECT_EQ(Child<QPushButton>("btnConnect")->text(), notice ? "Download" : "Connect...") << c.answer;
        EXPECT_EQ(Child<QProgressBar>("pbUpdate")->isVisible(), notice) << c.answer;
        EXPECT_EQ(core->ForcedUpdateShown(), notice) << c.answer;
        if (notice) {
            EXPECT_TRUE(Child<QPushButton>("btnConnect")->isEnabled()) << c.answer;
            const QString language = core->AppSettings().LanguageCode;
            core->ChooseLanguage(translator().languageIndex() == 3 ? 4 : 3);
            EXPECT_EQ(core->AppSettings().LanguageCode, language) << c.answer << ": the language stays";
        }
        window.reset();
        core.reset();
    }
}

TEST_F(UpdateWindowTest, PressingTheToolImageShowsTheOffer) {
    StartSite("43/40");
    ASSERT_TRUE(CreateProgram());
    QTest::mouseClick(Child<QWidget>("imgUpdate"), Qt::LeftButton);
    EXPECT_TRUE(Child<QLabel>("lblHeading")->text().startsWith(
        "The new version 4.3 is available.\n\nWhat's new:\nCorvala 4.2 for Linux desktops\n"));
    EXPECT_EQ(Child<QLabel>("lblHeading")->textFormat(), Qt::PlainText) << "the site's text is never markup";
    EXPECT_FALSE(Child<QLabel>("lblId")->isVisible());
    EXPECT_EQ(Child<QPushButton>("btnConnect")->text(), "Download");
    EXPECT_TRUE(Child<QProgressBar>("pbUpdate")->isVisible());
    EXPECT_TRUE(core->ForcedUpdateShown());
}

TEST_F(UpdateWindowTest, PrinterDownloadWindowShowsProgressAndItsAbortRemovesThePartialFile) {
    const std::string installer(3 * 1024 * 1024, 'i');
    update_test::WriteFile(site.File("installer"), installer);
    StartSite("42/40", {"--file", "/download/VelmoraPrinterInstall_1.0.0.0.msi=" + site.File("installer").string(),
                        "--file-rate", "300000"});
    ASSERT_TRUE(CreateProgram());
    QAction* entry = window->MenuAction("%s driver...");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isEnabled());
    EXPECT_EQ(entry->text(), "Velmora Printer driver...");
    entry->trigger();  // the question is answered "OK"
    TfrmVelmoraPrinterDownload* form = window->PrinterDownloadWindow();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), "Downloading Velmora Printer driver");
    EXPECT_EQ(form->findChild<QLabel*>("lblStatus")->text(), "Downloading Velmora Printer driver. Please wait...");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Progress() > 0; }, 20000));
    EXPECT_LT(form->Progress(), 100);
    QTest::mouseClick(form->findChild<QPushButton*>("btnAbort"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 20000));
    EXPECT_TRUE(Messages().contains("Please check Internet connection.")) << Messages().toStdString();
    EXPECT_FALSE(fs::exists(Program("VelmoraPrinterInstall_1.0.0.0.msi")));
    EXPECT_FALSE(fs::exists(Program("VelmoraPrinterInstall_1.0.0.0.msi.part")));
    for (const fakes::ShellCall& call : shell.calls) EXPECT_NE(call.verb, "open") << "nothing is run";
}

TEST_F(UpdateWindowTest, ChunkedInstallerLeavesTheBarAtZeroAndTheSecondUseOpensItWithoutAsking) {
    // The real shell, with a stand-in "xdg-open" first on PATH that writes
    // down what it was asked to open.
    const QString opened = folder.path() + "/opened.log";
    const fs::path opener = Program("xdg-open");
    update_test::WriteFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + opened.toStdString() + "'\n");
    fs::permissions(opener, fs::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", folder.path().toUtf8() + ":" + path);
    platform::linuxos::LinuxShell linuxShell;
    shellInUse = &linuxShell;

    update_test::WriteFile(site.File("installer"), std::string(2 * 1024 * 1024, 'i'));
    StartSite("42/40", {"--chunked-file", "/download/VelmoraPrinterInstall_1.0.0.0.msi=" + site.File("installer").string(),
                        "--file-rate", "2000000"});
    ASSERT_TRUE(CreateProgram());
    const QString installer = QString::fromStdString(Program("VelmoraPrinterInstall_1.0.0.0.msi").string());
    const auto openedLines = [&] {
        QFile log(opened);
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts)
                                             : QStringList();
    };
    window->MenuAction("%s driver...")->trigger();
    TfrmVelmoraPrinterDownload* form = window->PrinterDownloadWindow();
    int highest = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            highest = std::max(highest, form->Progress());
            return !form->isVisible();
        },
        30000));
    EXPECT_EQ(highest, 0) << "a chunked answer announces no length";
    ASSERT_TRUE(QTest::qWaitFor([&] { return openedLines().size() == 1; }, 10000));
    EXPECT_EQ(openedLines(), QStringList{installer});

    window->MenuAction("%s driver...")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return openedLines().size() == 2; }, 10000));
    EXPECT_EQ(openedLines(), (QStringList{installer, installer}));
    EXPECT_EQ(Messages().count("Confirm\t"), 1) << "only the first use asks" << Messages().toStdString();
    qputenv("PATH", path);
}

}  // namespace
}  // namespace corvala
