// Automatic start and opening pages and folders, against a recording shell
// and session in a temporary program folder.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "fakes/PlatformFakes.h"
#include "system/CompanionService.h"

namespace corvala {
namespace {

namespace fs = std::filesystem;
using fakes::ShellCall;

class RecordingSession : public platform::IUserSession {
public:
    bool answer = true;
    std::vector<std::string> targets;
    bool RunInUserSession(const std::string& target) override {
        targets.push_back(target);
        return answer;
    }
};

class RecordingEvents : public ICompanionEvents {
public:
    bool random = true;
    bool staticAfterDialog = false;  // what the password dialog leaves behind
    std::vector<QString> warnings;
    int dialogs = 0;
    bool RandomPasswordMode() const override { return random; }
    void ShowWarning(const QString& text) override { warnings.push_back(text); }
    bool RequireStaticPassword() override {
        ++dialogs;
        return staticAfterDialog;
    }
};

class CompanionServiceTest : public ::testing::Test {
protected:
    fs::path Folder() const { return dir.path().toStdString(); }
    std::string Helper() const { return (Folder() / "crsystem").string(); }
    CompanionService Make(bool serviceStarted, platform::IUserSession* userSession) {
        return CompanionService(Folder(), serviceStarted, shell, userSession, events);
    }

    QTemporaryDir dir;
    fakes::FakeShell shell;
    RecordingSession session;
    RecordingEvents events;
};

TEST_F(CompanionServiceTest, AutomaticStartItemAsksForAStaticPasswordOnlyWhenSwitchingOnWithARandomOne) {
    const QString warning = "In order to start Corvala with Windows you must specify a \"Static Password\".";
    struct Case {
        const char* name;
        bool markerExists, random, staticAfterDialog;
        const char* expectedParameters;  // nullptr: the helper is not run
        bool warned;
    };
    const Case cases[] = {
        {"on, random password: off without questions", true, true, false, "/uninstall", false},
        {"on, static password: off", true, false, false, "/uninstall", false},
        {"off, static password: on", false, false, false, "/install", false},
        {"off, random, a static password chosen: on", false, true, true, "/install", true},
        {"off, random, random kept: stays off", false, true, false, nullptr, true},
    };
    for (const Case& c : cases) {
        shell.calls.clear();
        events = {};
        events.random = c.random;
        events.staticAfterDialog = c.staticAfterDialog;
        std::error_code ec;
        fs::remove(Folder() / "~i", ec);
        if (c.markerExists) fs::create_directory(Folder() / "~i");

        CompanionService companion = Make(false, &session);
        EXPECT_EQ(companion.AutostartMarkerExists(), c.markerExists) << c.name;
        companion.AutomaticStartClick();

        std::vector<ShellCall> expected;
        if (c.expectedParameters) expected.push_back({"open", Helper(), c.expectedParameters});
        EXPECT_EQ(shell.calls, expected) << c.name;
        EXPECT_EQ(events.warnings, c.warned ? std::vector<QString>{warning} : std::vector<QString>{}) << c.name;
        EXPECT_EQ(events.dialogs, c.warned ? 1 : 0) << c.name;
        // The program only reads the marker; the helper writes it.
        EXPECT_EQ(fs::exists(Folder() / "~i"), c.markerExists) << c.name;
    }
}

TEST_F(CompanionServiceTest, ServiceStartedCopyOpensThroughTheUserSessionAndTheUserStartedOneThroughTheShell) {
    const QString address = "http://127.0.0.1:8080/manual/";
    const QString folder = "/home/user/My Documents/Corvala";
    struct Case {
        const char* name;
        bool serviceStarted, web;
        std::vector<ShellCall> shellCalls;
        std::vector<std::string> sessionTargets;
    };
    const Case cases[] = {
        {"user-started, page", false, true, {{"open", address.toStdString(), ""}}, {}},
        {"user-started, folder with spaces as one argument", false, false, {{"open", folder.toStdString(), ""}}, {}},
        {"service-started, page", true, true, {}, {address.toStdString()}},
        {"service-started, folder", true, false, {}, {folder.toStdString()}},
    };
    for (const Case& c : cases) {
        shell.calls.clear();
        session.targets.clear();
        QFile::remove(dir.filePath("link.url"));
        CompanionService companion = Make(c.serviceStarted, &session);
        c.web ? companion.OpenWebAddress(address) : companion.OpenFolder(folder);
        EXPECT_EQ(shell.calls, c.shellCalls) << c.name;
        EXPECT_EQ(session.targets, c.sessionTargets) << c.name;
        EXPECT_EQ(QFile::exists(dir.filePath("link.url")), c.serviceStarted && c.web) << c.name;
    }
}

TEST_F(CompanionServiceTest, ServiceStartedCopyWritesTheInternetShortcutBeforeOpeningAnAddress) {
    CompanionService companion = Make(true, &session);
    companion.OpenWebAddress("http://127.0.0.1:8080/eula/");
    QFile shortcut(dir.filePath("link.url"));
    ASSERT_TRUE(shortcut.open(QIODevice::ReadOnly));
    EXPECT_EQ(shortcut.readAll(), "[InternetShortcut]\r\nURL=http://127.0.0.1:8080/eula/\r\nIDList=\r\n");
}

TEST_F(CompanionServiceTest, ServiceStartedCopyOpensNothingWithoutSessionOrShortcut) {
    // No console session: asked once, nothing else tried.
    session.answer = false;
    Make(true, &session).OpenFolder("/tmp");
    EXPECT_EQ(session.targets, std::vector<std::string>{"/tmp"});
    // No session object at all.
    Make(true, nullptr).OpenWebAddress("http://127.0.0.1/");
    // The shortcut cannot be written: the address is not opened either.
    session.targets.clear();
    CompanionService unwritable(Folder() / "missing", true, shell, &session, events);
    unwritable.OpenWebAddress("http://127.0.0.1/");
    EXPECT_TRUE(session.targets.empty());
    EXPECT_TRUE(shell.calls.empty());
}

}  // namespace
}  // namespace corvala
