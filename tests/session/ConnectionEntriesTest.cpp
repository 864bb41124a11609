#include "session/ConnectionEntries.h"

#include "../session/QtPrinters.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(ConnectionEntries, ExtractId) {
    struct Case {
        const char* text;
        const char* id;
    } cases[] = {
        {"Ulla Trevik (1A2B3C4D5E6F)", "1A2B3C4D5E6F"},
        {"  123456789  ", "123456789"},
        {"Office(123)", "123"},
        {"Office ( 123 ) tail", "123"},
        {"Name (123) (456)", "123"},
        {"123;456", ""},
        {"Ulla, Trevik (123)", ""},
        {"Ulla (123", ""},
        {"Ulla 123)", ""},
        {"Ulla )123(", ""},
        {"Ulla (12 3)", ""},
        {"12 3", ""},
        {"Ulla (12(3)", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExtractId(c.text), c.id);
    }
}

TEST(ConnectionEntries, TypedTextIsNormalisedOnlyWithoutAName) {
    EXPECT_EQ(NormaliseTypedId("1a2b 3c4d"), "1A2B3C4D");
    EXPECT_EQ(NormaliseTypedId(" 12 34 "), "1234");
    EXPECT_EQ(NormaliseTypedId("ulla (1a2b)"), "ulla (1a2b)");
}

TEST(ConnectionEntries, ConnectTextCheck) {
    const QString longError =
        "Please enter a valid ID.\nIt must be either an ID, either a Username and ID in brackets.\n\nExamples:\n"
        "1A2B3C4D5E6F\nUlla Trevik (1A2B3C4D5E6F)";
    struct Case {
        const char* typed;
        const char* text;
        const char* id;
        QString error;
    } cases[] = {
        {"1a2b 3c4d", "1A2B3C4D", "1A2B3C4D", ""},
        {"Ulla Trevik (1A2B3C4D5E6F)", "Ulla Trevik (1A2B3C4D5E6F)", "1A2B3C4D5E6F", ""},
        {"99 9999 999", "999999999", "999999999", "Please enter a valid ID."},  // own ID
        {"Me (999999999)", "Me (999999999)", "999999999", "Please enter a valid ID."},
        {"Me (abc)", "Me (abc)", "abc", "Please enter a valid ID."},  // own ID compared in upper case
        {"1,2", "1,2", "", longError},
        {"Ulla (123", "Ulla (123", "", longError},
        {"Ulla (1 23)", "Ulla (1 23)", "", longError},
        {"   ", "", "", longError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const ConnectTextCheck check = CheckConnectText(c.typed, c.id == QString("abc") ? "ABC" : "999999999");
        EXPECT_EQ(check.text, c.text);
        EXPECT_EQ(check.id, c.id);
        EXPECT_EQ(check.error, c.error);
    }
}

TEST(RecentConnections, HistoryKeepsAtMost19AndMovesUsedEntriesToTheTop) {
    TRecentConnections recent;
    for (int i = 1; i <= 25; ++i)
        recent.PutOnTop(QString::number(100 + i), QString::number(100 + i));
    ASSERT_EQ(recent.Entries().size(), 19);
    EXPECT_EQ(recent.Entries().first(), "125");
    EXPECT_EQ(recent.Entries().last(), "107");

    // Using an existing ID moves it up; the typed form replaces the old entry.
    recent.PutOnTop("Office (110)", "110");
    EXPECT_EQ(recent.Entries().size(), 19);
    EXPECT_EQ(recent.Entries()[0], "Office (110)");
    EXPECT_EQ(recent.Entries().count("110"), 0);
    recent.PutOnTop("110", "110");
    EXPECT_EQ(recent.Entries()[0], "110");
    EXPECT_EQ(recent.Entries().filter("110").size(), 1);

    // A list stored longer than the limit is cut at the next change.
    TRecentConnections stored(QStringList(30, "x"));
    stored.PutOnTop("1", "1");
    EXPECT_EQ(stored.Entries().size(), 19);
}

TEST(RecentConnections, FindMatchesWholeIdsOnly) {
    const TRecentConnections recent({"1234", "Office (567)", "Home (5678)"});
    EXPECT_EQ(recent.Find("1234"), "1234");
    EXPECT_EQ(recent.Find("567"), "Office (567)");
    EXPECT_EQ(recent.Find("5678"), "Home (5678)");
    EXPECT_EQ(recent.Find("123"), "");
    EXPECT_EQ(recent.Find(""), "");
}

TEST(RecentConnections, CommaTextRoundTrip) {
    const TRecentConnections recent({"Ulla Trevik (1A2B)", "123", "Say \"hi\" (77)"});
    const TRecentConnections back = TRecentConnections::FromCommaText(recent.ToCommaText());
    EXPECT_EQ(back.Entries(), recent.Entries());
    EXPECT_TRUE(TRecentConnections::FromCommaText("").IsEmpty());
}

TEST(RecentConnections, UpdateRecentEntryName) {
    struct Case {
        const char* name;
        const char* id;
        QStringList before;
        QStringList after;
        bool changed;
    } cases[] = {
        {"Office", "123", {"9", "123"}, {"9", "Office (123)"}, true},
        {"Office", "123", {"Home (123)"}, {"Office (123)"}, true},
        {" Office ", "123", {"Office (123)"}, {"Office (123)"}, false},
        {"   ", "123", {"123"}, {"123"}, false},
        {"Office", "456", {"123"}, {"123"}, false},
        // A remote name cannot make the entry point at another ID.
        {"Evil (999)", "123", {"123"}, {"Evil 999 (123)"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRecentConnections recent(c.before);
        EXPECT_EQ(recent.UpdateName(c.name, c.id), c.changed);
        EXPECT_EQ(recent.Entries(), c.after);
        for (const QString& e : recent.Entries()) {
            if (e.contains(c.id)) {
                EXPECT_EQ(ExtractId(e), c.id);
            }
        }
    }
}

}  // namespace
}  // namespace corvala
