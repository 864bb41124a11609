#include "i18n/Translator.h"

#include <gtest/gtest.h>

#include "base/ProcessState.h"

namespace corvala {
namespace {

// Three languages, rows: names, codes, a full row, a row without German, a
// duplicate key whose later row must never win.
const char kSmallTable[] =
    "\xEF\xBB\xBF"
    "3\r\n"
    "English\r\nDeutsch\r\nFrançais\r\n"
    "en\r\nde\r\nfr\r\n"
    "Connect...\r\nVerbinden...\r\nConnecter...\r\n"
    "Welcome to %s!\r\n\r\nBienvenue dans %s !\r\n"
    "Connect...\r\nFALSCH\r\nFAUX\r\n";

class TranslatorCases : public ::testing::Test {
protected:
    void SetUp() override { t.buildFromUtf8(kSmallTable); }
    void TearDown() override { processState().EventsSuspended = false; }
    Translator t;
};

TEST_F(TranslatorCases, BuildsColumnsFromTheLines) {
    EXPECT_EQ(t.languageCount(), 3);
    EXPECT_EQ(t.rowCount(), 5);
    EXPECT_EQ(t.languageName(2), QStringLiteral("Français"));
    EXPECT_EQ(t.languageCode(1), "de");
    EXPECT_EQ(t.languageIndexOf("fr"), 2);
    EXPECT_EQ(t.languageIndexOf("FR"), -1);
    EXPECT_EQ(t.cell(1, 3), "");
    EXPECT_EQ(t.cell(3, 0), "");   // outside the table
    EXPECT_EQ(t.cell(0, 5), "");
}

TEST_F(TranslatorCases, Lookup) {
    struct Case {
        const char* code;
        const char* english;
        QString expected;
    };
    const Case cases[] = {
        {"de", "Connect...", "Verbinden..."},
        {"fr", "Connect...", "Connecter..."},             // first row wins over the duplicate
        {"en", "Connect...", "Connect..."},
        {"de", "Welcome to %s!", "Welcome to %s!"},       // empty cell: English
        {"fr", "Welcome to %s!", QString::fromUtf8("Bienvenue dans %s !")},
        {"de", "No such text", "No such text"},           // missing row
        {"de", "connect...", "connect..."},               // case-sensitive key
        {"de", "Connect... ", "Connect... "},             // exact key
        {"de", "English", "Deutsch"},                     // row 0 is a row like any other
        {"fr", "en", "fr"},
        {"xx", "Connect...", "Connect..."},               // unknown code: English
        {"", "Connect...", "Connect..."},
    };
    for (const auto& c : cases) {
        t.setLanguageCode(c.code);
        EXPECT_EQ(t.translate(c.english), c.expected) << c.code << " / " << c.english;
    }
}

TEST_F(TranslatorCases, UnknownCodeSelectsEnglish) {
    t.setLanguageCode("de");
    ASSERT_EQ(t.languageIndex(), 1);
    t.setLanguageCode("pt-BR");
    EXPECT_EQ(t.languageIndex(), 0);
    t.setLanguageIndex(7);
    EXPECT_EQ(t.languageIndex(), 0);
}

TEST_F(TranslatorCases, SuspendedEventsReturnTheArgument) {
    t.setLanguageCode("de");
    processState().EventsSuspended = true;
    EXPECT_EQ(t.translate("Connect..."), "Connect...");
    processState().EventsSuspended = false;
    EXPECT_EQ(t.translate("Connect..."), "Verbinden...");
}

TEST(TranslatorBuild, UnusableTablesAreEmpty) {
    struct Case {
        const char* name;
        QStringList lines;
    };
    const Case cases[] = {
        {"no lines", {}},
        {"count only", {"3"}},
        {"count not a number", {"three", "English", "Deutsch", "Français"}},
        {"zero count", {"0", "English"}},
        {"negative count", {"-2", "English", "Deutsch"}},
        {"fewer lines than one row", {"3", "English", "Deutsch"}},
    };
    for (const auto& c : cases) {
        Translator t;
        t.build(c.lines);
        EXPECT_TRUE(t.isEmpty()) << c.name;
        EXPECT_EQ(t.translate("English"), "English") << c.name;
        t.setLanguageCode("de");
        EXPECT_EQ(t.languageIndex(), 0) << c.name;
    }
}

// Found by the language-table fuzz target: the columns were sized by the
// count line alone, so a huge count asked for gigabytes before any row.
TEST(TranslatorBuild, CountBeyondTheLinesAllocatesNothing) {
    for (const char* text : {"900000000\r\nx\r\n", "2147483647\r\n"}) {
        Translator t;
        t.buildFromUtf8(text);
        EXPECT_TRUE(t.isEmpty()) << text;
        EXPECT_EQ(t.languageCount(), 0) << text;
    }
}

TEST(TranslatorBuild, IncompleteLastRowIsDropped) {
    Translator t;
    t.build({"2", "English", "Deutsch", "en", "de", "Yes", "Ja", "No"});
    EXPECT_EQ(t.rowCount(), 3);
    t.setLanguageCode("de");
    EXPECT_EQ(t.translate("Yes"), "Ja");
    EXPECT_EQ(t.translate("No"), "No");
}

TEST(TranslatorBuild, ByteOrderMarkOnTheCountLineIsIgnored) {
    Translator t;
    t.build({QString(QChar(0xFEFF)) + "2", "English", "Deutsch", "en", "de"});
    EXPECT_EQ(t.languageCount(), 2);
    EXPECT_EQ(splitTableLines("\xEF\xBB\xBF" "2\r\nEnglish\r\n"), QStringList({"2", "English", ""}));
}

TEST(TranslatorBuild, PlainLineFeedsAreAcceptedToo) {
    Translator t;
    t.buildFromUtf8("2\nEnglish\nDeutsch\nen\nde\nYes\nJa\n");
    t.setLanguageCode("de");
    EXPECT_EQ(t.translate("Yes"), "Ja");
}

TEST(ProcessTranslator, IsEmptyUntilBuilt) {
    // Messages shown during start-up keep English.
    EXPECT_EQ(translate("Warning!"), "Warning!");
}

}  // namespace
}  // namespace corvala
