// The credential dialogs as a user meets them: the shared validation with
// its messages in both password-setting dialogs, Enter as OK, the random
// box's effect on the edits, the white list's refusal and its Enter, the
// display name's dropped keys, the book's two dialogs, and their texts in
// another language.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "dialogs/BookPasswordDialogs.h"
#include "dialogs/FormDisplayName.h"
#include "dialogs/FormPassword.h"
#include "dialogs/FormPasswordInput.h"
#include "dialogs/FormPasswordSet.h"
#include "dialogs/FormWhitelist.h"
#include "fakes/AnsweredMessageBoxes.h"
#include "fakes/QtTestApplication.h"
#include "i18n/Translator.h"

namespace corvala {
namespace {

// Message boxes answer at once and write a line each to a log file.
class CredentialDialogs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(boxes.Valid()); }
    void TearDown() override { translator().build({}); }

    QString TakeMessages() { return boxes.TakeMessages(); }

    // Runs `user` once the modal dialog is up; a dialog the user left open
    // is closed (cancelled) afterwards, and `stayedOpen` says so.
    void WhileShown(QDialog& dialog, std::function<void()> user) {
        stayedOpen = false;
        QTimer::singleShot(0, &dialog, [this, &dialog, user = std::move(user)] {
            ASSERT_TRUE(dialog.isVisible());
            user();
            stayedOpen = dialog.isVisible();
            if (stayedOpen) dialog.reject();
        });
    }

    testsupport::AnsweredMessageBoxes boxes;
    bool stayedOpen = false;
};

void PressEnter(QWidget* in) { QTest::keyClick(in, Qt::Key_Return); }

TEST_F(CredentialDialogs, BothPasswordDialogsValidateAlikeAndEnterActsAsOk) {
    struct Case {
        const char* name;
        QString password;
        QString confirmation;
        const char* message;  // empty: accepted
    } cases[] = {
        {"empty", "", "", "Error\tPlease enter your password\n"},
        {"seven with blanks around", "  abcdefg ", "abcdefg", "Error\tYour password must be at least 8 characters.\n"},
        {"no confirmation", "abcdefgh", "", "Warning\tPlease confirm your password.\n"},
        {"differ", "abcdefgh", "abcdefgX", "Error\tPasswords do not match.\n"},
        {"exactly eight", "abcdefgh", "abcdefgh", ""},
        {"differ only in surrounding blanks", " abcdefgh ", "abcdefgh", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool accepted = QString(c.message).isEmpty();
        {
            SCOPED_TRACE("host password");
            TFormPassword dialog;
            WhileShown(dialog, [&] {
                dialog.PasswordEdit()->setText(c.password);
                dialog.ConfirmEdit()->setText(c.confirmation);
                PressEnter(dialog.ConfirmEdit());
            });
            const auto answer = dialog.Execute(HostPasswordFill{false, {}, false});
            EXPECT_EQ(TakeMessages(), c.message);
            EXPECT_EQ(stayedOpen, !accepted);
            ASSERT_EQ(answer.has_value(), accepted);
            if (answer) {
                EXPECT_FALSE(answer->Random);
                EXPECT_EQ(answer->Password, c.password);
            }
        }
        {
            SCOPED_TRACE("contacts book");
            TfrmPasswordSet dialog;
            WhileShown(dialog, [&] {
                dialog.PasswordEdit()->setText(c.password);
                dialog.ConfirmEdit()->setText(c.confirmation);
                PressEnter(dialog.Box());  // the dialog sees Enter before the focused box
            });
            const auto answer = dialog.Execute();
            EXPECT_EQ(TakeMessages(), c.message);
            EXPECT_EQ(stayedOpen, !accepted);
            ASSERT_EQ(answer.has_value(), accepted);
            if (answer) EXPECT_EQ(*answer, c.password.trimmed());
        }
    }
}

TEST_F(CredentialDialogs, RandomPasswordBoxDisablesTheEditsAndSkipsTheChecks) {
    TFormPassword dialog;
    bool editsEnabledWhileTicked = true;
    bool editsEnabledAfterUntick = false;
    WhileShown(dialog, [&] {
        EXPECT_TRUE(dialog.Box()->isChecked());
        EXPECT_EQ(dialog.PasswordEdit()->text(), "");
        editsEnabledWhileTicked = dialog.PasswordEdit()->isEnabled() || dialog.ConfirmEdit()->isEnabled();
        dialog.Box()->setChecked(false);
        editsEnabledAfterUntick = dialog.PasswordEdit()->isEnabled() && dialog.ConfirmEdit()->isEnabled();
        dialog.Box()->setChecked(true);
        PressEnter(dialog.PasswordEdit());
    });
    const auto answer = dialog.Execute(HostPasswordFill{true, {}, false});
    EXPECT_FALSE(editsEnabledWhileTicked);
    EXPECT_TRUE(editsEnabledAfterUntick);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->Random);
    EXPECT_EQ(TakeMessages(), "") << "a random password needs no check";

    // Opened on a static password, the edits hold it; Cancel answers nothing.
    WhileShown(dialog, [&] {
        EXPECT_EQ(dialog.PasswordEdit()->text(), "staticpw1");
        EXPECT_EQ(dialog.ConfirmEdit()->text(), "staticpw1");
        EXPECT_TRUE(dialog.PasswordEdit()->isEnabled());
        dialog.findChild<QPushButton*>("btnCancel")->click();
    });
    EXPECT_FALSE(dialog.Execute(HostPasswordFill{false, "staticpw1", true}));
    EXPECT_FALSE(stayedOpen);
}

TEST_F(CredentialDialogs, BookPasswordOffEmptiesTheEditsAndInputIsEmptiedEachTime) {
    TfrmPasswordSet set;
    WhileShown(set, [&] {
        set.PasswordEdit()->setText("abc");
        set.Box()->setChecked(false);
        EXPECT_FALSE(set.PasswordEdit()->isEnabled());
        PressEnter(set.Box());
    });
    EXPECT_EQ(set.Execute(), std::optional<QString>(""));
    EXPECT_EQ(TakeMessages(), "") << "an unprotected book needs no check";

    // A book that has a password opens with it in both edits: confirming
    // unchanged keeps it.
    QString shown;
    WhileShown(set, [&] {
        shown = set.PasswordEdit()->text() + "|" + set.ConfirmEdit()->text();
        PressEnter(set.Box());
    });
    EXPECT_EQ(set.Execute(QStringLiteral("bookpass1")), std::optional<QString>(QStringLiteral("bookpass1")));
    EXPECT_EQ(shown, "bookpass1|bookpass1");

    TfrmPasswordInput input;
    for (const char* typed : {"first", "second"}) {
        WhileShown(input, [&] {
            EXPECT_EQ(input.PasswordEdit()->text(), "") << "the edit was not emptied";
            QTest::keyClicks(input.PasswordEdit(), typed);
            PressEnter(input.PasswordEdit());
        });
        EXPECT_EQ(input.Execute(), std::optional<QString>(typed));
    }
    WhileShown(input, [&] { input.findChild<QPushButton*>("btnCancel")->click(); });
    EXPECT_EQ(input.Execute(), std::nullopt);
}

TEST_F(CredentialDialogs, WhiteListRefusesOnlyAnEmptyListThatIsOn) {
    TFormWhitelist dialog;
    QPushButton* ok = dialog.findChild<QPushButton*>("btnOK");
    ASSERT_TRUE(ok);
    WhileShown(dialog, [&] {
        EXPECT_TRUE(dialog.Box()->isChecked());
        EXPECT_EQ(dialog.List()->toPlainText(), "111222333");
        dialog.List()->setPlainText(" \n  ");
        ok->click();
    });
    EXPECT_FALSE(dialog.Execute({true, {"111222333"}}));
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(TakeMessages(), "Warning\tThe white list cannot be empty.\n");

    // Enter in the list starts a new line; the lines are kept as typed.
    WhileShown(dialog, [&] {
        dialog.List()->setFocus();
        QTest::keyClicks(dialog.List(), "111222333");
        PressEnter(dialog.List());
        QTest::keyClicks(dialog.List(), " 444555666");
        EXPECT_TRUE(dialog.isVisible()) << "Enter closed the white list";
        ok->click();
    });
    const auto typed = dialog.Execute({true, {}});
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->List, QStringList({"111222333", " 444555666"}));

    // Off: blank lines are stored anyway, and the list is disabled.
    WhileShown(dialog, [&] {
        dialog.Box()->setChecked(false);
        EXPECT_FALSE(dialog.List()->isEnabled());
        dialog.List()->setPlainText("\n");
        ok->click();
    });
    const auto off = dialog.Execute({true, {"1"}});
    ASSERT_TRUE(off);
    EXPECT_FALSE(off->Enabled);
    EXPECT_EQ(off->List, QStringList({"", ""}));
    EXPECT_EQ(TakeMessages(), "");
}

TEST_F(CredentialDialogs, DisplayNameDropsTypedParenthesesAndEnterConfirms) {
    TFormDisplayName dialog;
    WhileShown(dialog, [&] {
        EXPECT_EQ(dialog.NameEdit()->text(), "PC");
        dialog.NameEdit()->clear();
        QTest::keyClicks(dialog.NameEdit(), "Office (2)");
        EXPECT_EQ(dialog.NameEdit()->text(), "Office 2");
        PressEnter(dialog.NameEdit());
    });
    EXPECT_EQ(dialog.Execute("PC"), std::optional<QString>("Office 2"));
    EXPECT_FALSE(stayedOpen);
}

TEST_F(CredentialDialogs, TextsAreTranslatedWhenShown) {
    translator().buildFromUtf8(embeddedLanguageTable());
    translator().setLanguageCode("de");
    struct Case {
        QDialog* dialog;
        const char* title;
    };
    TFormPassword password;
    TFormWhitelist whitelist;
    TFormDisplayName name;
    TfrmPasswordSet set;
    TfrmPasswordInput input;
    const Case cases[] = {
        {&password, "Passwort festlegen"},
        {&whitelist, "Whitelist festlegen"},
        {&name, "Anzeigenamen festlegen"},
        {&set, "Passwort festlegen"},
        {&input, "Kontakte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        c.dialog->show();
        EXPECT_EQ(c.dialog->windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(c.dialog->findChild<QLabel*>("lblCaption")->text(), QString::fromUtf8(c.title));
        EXPECT_EQ(c.dialog->findChild<QPushButton*>("btnCancel")->text(), "Abbrechen");
        c.dialog->hide();
    }
    password.show();
    EXPECT_EQ(password.findChild<QLabel*>("lblPsw")->text(), QString::fromUtf8("Statisches Passwort:"));
}

}  // namespace
}  // namespace corvala
