#include "dialogs/FormAddConnection.h"

#include "../session/QtPrinters.h"
#include "session/ConnectionEntries.h"
#include "i18n/Translator.h"
#include "settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include "fakes/AnsweredMessageBoxes.h"
#include "fakes/QtTestApplication.h"

#include <memory>

namespace corvala {
namespace {

// Message boxes answer at once and write a line each to a log file.
class AddConnectionDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(boxes.Valid());
        settings.DeviceId = "999999999";
        settings.RecentConnections = "\"Office (123456789)\",555";
    }
    void TearDown() override { translator().build({}); }

    QString messages() const { return boxes.Messages(); }
    template <typename T>
    T* child(const char* name) {
        T* w = dialog.findChild<T*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    void type(const QString& id, const QString& password) {
        child<QComboBox>("cbID")->setEditText(id);
        child<QLineEdit>("edtPassword")->setText(password);
    }

    testsupport::AnsweredMessageBoxes boxes;
    Settings settings{SettingsEnvironment{}};
    TFormAddConnection dialog{settings};
};

TEST_F(AddConnectionDialog, CaptionsAreTranslatedWhenShown) {
    translator().buildFromUtf8(embeddedLanguageTable());
    translator().setLanguageCode("de");
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Verbindung hinzufügen"));
    EXPECT_EQ(child<QLabel>("lblWarning")->text(), "Achtung! UPnP ist am Router deaktiviert!");
    EXPECT_EQ(child<QAction>("actWakeUp")->text(), "PC aufwecken && verbinden...");

    translator().build({});
    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Add Connection");
    EXPECT_EQ(child<QLabel>("lblID")->text(), "ID:");
    EXPECT_EQ(child<QLabel>("lblPassword")->text(), "Password:");
    EXPECT_EQ(child<QToolButton>("btnConnect")->text(), "Connect");
    EXPECT_EQ(child<QPushButton>("btnCancel")->text(), "Cancel");
    EXPECT_EQ(child<QAction>("actConnect")->text(), "Connect");
    // "&&" is how a menu shows one "&".
    EXPECT_EQ(child<QAction>("actWakeUp")->text(), "Wake Up PC && Connect...");
    EXPECT_EQ(child<QLabel>("lblWarning")->text(), "Attention! UPnP is disabled on the router!");
    EXPECT_FALSE(child<QAction>("actWakeUp")->isEnabled()) << "no Wake-on-LAN window yet";
    EXPECT_FALSE(child<QToolButton>("btnAddressBook")->isEnabled()) << "no contacts book yet";
}

TEST_F(AddConnectionDialog, PrefillIsUsedOnceThenTheLatestEntry) {
    dialog.strID = "Lab (777)";
    dialog.strPswd = "lab-pw";
    dialog.show();
    EXPECT_EQ(dialog.IdText(), "Lab (777)");
    EXPECT_EQ(dialog.Password(), "lab-pw");
    EXPECT_TRUE(dialog.strID.isEmpty() && dialog.strPswd.isEmpty());
    EXPECT_EQ(child<QComboBox>("cbID")->count(), 2);

    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.IdText(), "Office (123456789)");
    EXPECT_EQ(dialog.Password(), "");
    EXPECT_EQ(dialog.Tag, 0);
}

TEST_F(AddConnectionDialog, RefusedTextsShowTheirErrorAndKeepTheDialogOpen) {
    struct Case {
        const char* typed;
        const char* logged;
    } cases[] = {
        {"999 999 999", "Error\tPlease enter a valid ID.\n"},
        {"Me (999999999)", "Error\tPlease enter a valid ID.\n"},
        {"12,34", "Error\tPlease enter a valid ID.\\nIt must be either an ID, either a Username and ID in "
                  "brackets.\\n\\nExamples:\\n1A2B3C4D5E6F\\nUlla Trevik (1A2B3C4D5E6F)\n"},
        {"Ulla (1A 2B)", "Error\tPlease enter a valid ID.\\nIt must be either an ID, either a Username and ID "
                         "in brackets.\\n\\nExamples:\\n1A2B3C4D5E6F\\nUlla Trevik (1A2B3C4D5E6F)\n"},
    };
    dialog.show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        boxes.TakeMessages();
        type(c.typed, "pw");
        dialog.ConnectClick();
        EXPECT_EQ(messages(), c.logged);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.Tag, 0);
        EXPECT_EQ(settings.RecentConnections, "\"Office (123456789)\",555");
    }
}

TEST_F(AddConnectionDialog, ConnectNormalisesUpdatesTheHistoryAndCloses) {
    dialog.show();
    type("1a2b 3c4d", "pw");
    QTest::keyClick(child<QLineEdit>("edtPassword"), Qt::Key_Return);  // Enter anywhere connects
    EXPECT_EQ(dialog.Tag, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.IdText(), "1A2B3C4D");
    EXPECT_EQ(dialog.Password(), "pw");
    EXPECT_EQ(settings.RecentConnections, "1A2B3C4D,\"Office (123456789)\",555");
    EXPECT_TRUE(messages().isEmpty());

    // An existing ID typed bare replaces its named entry at the top; Enter
    // on a button connects too.
    dialog.show();
    type("123456789", "pw");
    QTest::keyClick(child<QPushButton>("btnCancel"), Qt::Key_Enter);
    EXPECT_EQ(dialog.Tag, 1);
    EXPECT_EQ(settings.RecentConnections, "123456789,1A2B3C4D,555");
}

TEST_F(AddConnectionDialog, WarningStrip) {
    dialog.show();
    ASSERT_TRUE(dialog.WarningStripShown());
    const int withStrip = dialog.height();
    dialog.HideWarningStrip();
    EXPECT_FALSE(dialog.WarningStripShown());
    EXPECT_LT(dialog.height(), withStrip);

    // Hidden for that showing only.
    dialog.hide();
    dialog.show();
    EXPECT_TRUE(dialog.WarningStripShown());
    EXPECT_EQ(dialog.height(), withStrip);

    // With the own relay running it never shows.
    dialog.hide();
    dialog.RelayRunning = [] { return true; };
    dialog.show();
    EXPECT_FALSE(dialog.WarningStripShown());
    EXPECT_LT(dialog.height(), withStrip);
}

TEST_F(AddConnectionDialog, ExecuteWithConfirmGoesThroughConnect) {
    dialog.strID = "Home (246810)";
    dialog.strPswd = "pw";
    EXPECT_EQ(dialog.Execute(true), 1);
    EXPECT_EQ(settings.RecentConnections, "\"Home (246810)\",\"Office (123456789)\",555");

    // A refused request leaves the dialog open for the user.
    dialog.strID = "999999999";
    QTimer::singleShot(0, &dialog, [this] {
        QTimer::singleShot(0, &dialog, [this] {
            EXPECT_TRUE(dialog.isVisible());
            dialog.reject();
        });
    });
    EXPECT_EQ(dialog.Execute(true), 0);
    EXPECT_EQ(messages(), "Error\tPlease enter a valid ID.\n");
}

TEST_F(AddConnectionDialog, ContactsBookAndWakeUpHooks) {
    dialog.ChooseContact = [] { return TFormAddConnection::Contact{"Ulla", "1A2B", "book-pw"}; };
    int wakeCalls = 0;
    dialog.WakeUpPc = [&](const QString& idText) {
        ++wakeCalls;
        EXPECT_EQ(idText, "Ulla(1A2B)");
        return true;
    };
    dialog.show();
    dialog.AddressBookClick();
    EXPECT_EQ(dialog.IdText(), "Ulla(1A2B)");
    EXPECT_EQ(dialog.Password(), "book-pw");
    EXPECT_TRUE(child<QAction>("actWakeUp")->isEnabled());
    dialog.WakeUpClick();
    EXPECT_EQ(wakeCalls, 1);
    EXPECT_EQ(dialog.Tag, 1);
    EXPECT_EQ(TRecentConnections::FromCommaText(settings.RecentConnections).Entries().first(), "Ulla(1A2B)");
}

}  // namespace
}  // namespace corvala
