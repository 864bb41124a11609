// The rules behind the credential dialogs: the one validation of a new
// password, the white list's refusal, the display name's keys, and what the
// host password dialog opens with and leaves behind.
#include "features/Credentials.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

std::string Describe(const std::optional<CredentialRefusal>& refusal) {
    if (!refusal) return "accepted";
    static const char* const kinds[] = {"Warning", "Error", "Confirm", "Information"};
    return std::string(kinds[int(refusal->Kind)]) + ": " + refusal->Text;
}

TEST(Credentials, NewPasswordValidationChecksInOrder) {
    struct Case {
        const char* name;
        QString password;
        QString confirmation;
        const char* expected;
    } cases[] = {
        {"empty", "", "", "Error: Please enter your password"},
        {"only blanks", "   ", "x", "Error: Please enter your password"},
        {"seven characters", "abcdefg", "abcdefg", "Error: Your password must be at least 8 characters."},
        {"seven with blanks around", "  abcdefg  ", "abcdefg", "Error: Your password must be at least 8 characters."},
        {"short is reported before a missing confirmation", "abc", "",
         "Error: Your password must be at least 8 characters."},
        {"confirmation empty", "abcdefgh", "", "Warning: Please confirm your password."},
        {"confirmation only blanks", "abcdefgh", "  ", "Warning: Please confirm your password."},
        {"differ", "abcdefgh", "abcdefgH", "Error: Passwords do not match."},
        {"exactly eight", "abcdefgh", "abcdefgh", "accepted"},
        {"differ only in surrounding blanks", " abcdefgh", "abcdefgh  ", "accepted"},
        {"inner blanks count", "abcd efgh", "abcd efgh", "accepted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Describe(ValidateNewPassword(c.password, c.confirmation)), c.expected);
    }
}

TEST(Credentials, WhiteListIsRefusedOnlyWhenOnAndBlank) {
    struct Case {
        const char* name;
        bool enabled;
        QString text;
        const char* expected;
        QStringList stored;
    } cases[] = {
        {"on, empty", true, "", "Warning: The white list cannot be empty.", {}},
        {"on, blank lines", true, " \n\n  \n", "Warning: The white list cannot be empty.", {" ", "", "  ", ""}},
        {"off, blank lines are stored anyway", false, " \n\n", "accepted", {" ", "", ""}},
        {"on, lines as typed", true, "123456789\n 987654321 \r\nabc", "accepted", {"123456789", " 987654321 ", "abc"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Describe(ValidateWhiteList(c.enabled, c.text)), c.expected);
        EXPECT_EQ(WhiteListLines(c.text), c.stored);
    }
}

TEST(Credentials, DisplayNameDropsParenthesesAndKeepsTheOldNameWhenEmpty) {
    QString typed;
    for (QChar key : QString("Office (2)"))
        if (!DisplayNameRefusesKey(key)) typed += key;
    EXPECT_EQ(typed, "Office 2");
    EXPECT_EQ(ConfirmedDisplayName("  Office 2 "), std::optional<QString>("Office 2"));
    EXPECT_EQ(ConfirmedDisplayName("   "), std::nullopt);
    EXPECT_EQ(ConfirmedDisplayName(""), std::nullopt);
}

// Open the dialog on `current`, answer it, and see what the settings hold.
TEST(Credentials, HostPasswordDialogTransitions) {
    const auto newRandom = [] { return QString("NEWRND"); };
    struct Case {
        const char* name;
        HostPasswordState current;
        bool withSender;
        bool expectRandomTicked;
        QString expectEdits;
        HostPasswordAnswer answer;
        HostPasswordState expected;
    } cases[] = {
        {"random stays random: the password in use stays",
         {true, "ABC123"},
         true,
         true,
         "",
         {true, ""},
         {true, "ABC123"}},
        {"random to static", {true, "ABC123"}, true, true, "", {false, " staticpw1 "}, {false, "staticpw1"}},
        {"static to random makes a new one",
         {false, "staticpw1"},
         true,
         false,
         "staticpw1",
         {true, "staticpw1"},
         {true, "NEWRND"}},
        {"static changed", {false, "staticpw1"}, true, false, "staticpw1", {false, "another22"}, {false, "another22"}},
        {"no sender: unticked and empty, static typed",
         {true, "ABC123"},
         false,
         false,
         "",
         {false, "autostart1"},
         {false, "autostart1"}},
        {"no sender from static, random ticked: the password stays",
         {false, "staticpw1"},
         false,
         false,
         "",
         {true, ""},
         {true, "staticpw1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HostPasswordFill fill = FillHostPasswordDialog(c.current, c.withSender);
        EXPECT_EQ(fill.Random, c.expectRandomTicked);
        EXPECT_EQ(fill.Password, c.expectEdits);
        EXPECT_EQ(ApplyHostPasswordAnswer(c.current, fill, c.answer, newRandom), c.expected);
    }
}

}  // namespace
}  // namespace corvala
