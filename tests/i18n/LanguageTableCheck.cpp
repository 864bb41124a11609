// Checks over the delivered interface table: its file form, its header rows,
// and that every translation can stand in for its English key.

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include "TranslatedLiterals.h"
#include "i18n/Translator.h"

namespace corvala {
namespace {

QString sourceFile(const char* relative) {
    return QString::fromLocal8Bit(qgetenv("CORVALA_SOURCE_DIR")) + "/" + relative;
}

class DeliveredTable : public ::testing::Test {
protected:
    void SetUp() override { t.buildFromUtf8(embeddedLanguageTable()); }
    Translator t;
};

TEST_F(DeliveredTable, FileForm) {
    const std::string_view bytes = embeddedLanguageTable();
    ASSERT_GT(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(bytes.substr(3, 4), "11\r\n");
    std::size_t lines = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++lines;
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at byte " << i;
        } else if (bytes[i] == '\r') {
            EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare carriage return at byte " << i;
        }
    }
    EXPECT_EQ(bytes.back(), '\n');
    // Count line plus whole rows of eleven lines.
    EXPECT_EQ((lines - 1) % 11, 0u);
    EXPECT_EQ(int(lines - 1) / 11, t.rowCount());
    EXPECT_TRUE(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).isValidUtf16());
}

TEST_F(DeliveredTable, HeaderRowsNameTheLanguagesInOrder) {
    ASSERT_EQ(t.languageCount(), 11);
    const QStringList names = {"English", "Português", "Español", "Deutsch", "Italiano", "Français",
                               "Nederlands", "Svenska", "Türkçe", "Русский", "Ελληνικά"};
    const QStringList codes = {"en", "pt", "es", "de", "it", "fr", "nl", "se", "tr", "ru", "el"};
    for (int k = 0; k < 11; ++k) {
        EXPECT_EQ(t.languageName(k), names[k]);
        EXPECT_EQ(t.languageCode(k), codes[k]);
    }
}

TEST_F(DeliveredTable, EveryRowHasAUniqueEnglishKey) {
    QSet<QString> seen;
    for (int r = 0; r < t.rowCount(); ++r) {
        const QString key = t.cell(0, r);
        EXPECT_FALSE(key.isEmpty()) << "row " << r;
        EXPECT_EQ(key, key.trimmed()) << "row " << r << " has blanks around its key";
        EXPECT_FALSE(seen.contains(key)) << "duplicate key " << key.toStdString();
        seen.insert(key);
    }
}

QStringList placeholders(const QString& text) {
    static const QRegularExpression spec(QStringLiteral("%[-0-9.:]*[a-zA-Z%]"));
    QStringList found;
    for (const auto& m : spec.globalMatch(text))
        found << m.captured();
    return found;
}

TEST_F(DeliveredTable, TranslationsKeepThePlaceholdersInOrder) {
    int emptyCells = 0;
    for (int r = 2; r < t.rowCount(); ++r) {
        const QStringList expected = placeholders(t.cell(0, r));
        for (int k = 1; k < t.languageCount(); ++k) {
            const QString cell = t.cell(k, r);
            if (cell.isEmpty()) {
                ++emptyCells;
                continue;
            }
            EXPECT_EQ(placeholders(cell), expected)
                << t.languageCode(k).toStdString() << ": " << cell.toStdString();
            EXPECT_EQ(cell, cell.trimmed()) << t.languageCode(k).toStdString() << ": " << cell.toStdString();
        }
    }
    // Empty cells are the exception, not the way to leave work undone.
    EXPECT_LT(emptyCells, t.rowCount());
}

TEST_F(DeliveredTable, KnownSampleRows) {
    struct Case {
        const char* en;
        const char* pt;
        const char* es;
        const char* de;
    };
    const Case cases[] = {
        {"Welcome to %s!", "Bem vindo ao %s!", "Bienvenido a %s!", "Willkommen bei %s!"},
        {"Your ID:", "Seu ID:", "Su ID:", "Eigene ID:"},
        {"Invalid password.", "Senha inválida.", "Contraseña Invalida.", "Ungültiges Passwort."},
        {"Connect...", "Conectar...", "Conectar...", "Verbinden..."},
    };
    for (const auto& c : cases) {
        for (auto [code, text] : {std::pair{"pt", c.pt}, {"es", c.es}, {"de", c.de}, {"en", c.en}}) {
            t.setLanguageCode(code);
            EXPECT_EQ(t.translate(QString::fromUtf8(c.en)), QString::fromUtf8(text)) << code;
        }
    }
}

// Every text the source hands to translation is a row of the table, with all
// eleven cells filled: a text added to the interface without its row shows up
// here, not as an untranslated caption on somebody's screen.
TEST_F(DeliveredTable, EveryTextTheSourceTranslatesIsARowWithElevenCells) {
    testing_support::TranslatedLiterals literals;
    literals.AddFolder(sourceFile("src"));
    ASSERT_GT(literals.FileCount(), 100) << "the source folder was not found";
    const QSet<QString> keys = literals.Keys();
    // The scan itself works: the windows, dialogs and messages pass far more.
    ASSERT_GT(keys.size(), 80);
    ASSERT_EQ(t.languageCount(), 11);
    QHash<QString, int> rows;
    for (int r = t.rowCount() - 1; r >= 0; --r) rows.insert(t.cell(0, r), r);
    QStringList sorted = keys.values();
    sorted.sort();
    for (const QString& key : sorted) {
        SCOPED_TRACE(key.toStdString());
        const auto row = rows.constFind(key);
        if (row == rows.constEnd()) {
            ADD_FAILURE() << "no row in src/i18n/languages.tsv";
            continue;
        }
        for (int k = 0; k < 11; ++k)
            EXPECT_FALSE(t.cell(k, *row).isEmpty()) << "no " << t.languageCode(k).toStdString() << " text";
    }
}

// The scan on small sources: what counts as a text handed to translation.
TEST(TranslatedLiteralsScan, FindsWhatReachesTranslation) {
    struct Case {
        const char* name;
        const char* source;
        QStringList keys;
    };
    const Case cases[] = {
        {"plain", R"src(x = translate("Plain");)src", {"Plain"}},
        {"wrapped",
         R"src(translate(QStringLiteral("Wrapped")) + translate(QString::fromLatin1("Latin")))src",
         {"Wrapped", "Latin"}},
        {"adjacent literals over lines", "translate(\"Two \"\n    \"parts\")", {"Two parts"}},
        {"escaped quotes", R"src(translate("Say \"OK\" now"))src", {"Say \"OK\" now"}},
        {"marked for later",
         R"src({"lbl", "text", TranslationKey("Marked")}, add(menu, TranslationKey("Item")))src",
         {"Marked", "Item"}},
        {"comments", "// translate(\"Line\")\n/* translate(\"Block\") */ translate(\"Code\")", {"Code"}},
        {"comment marks inside a literal", R"src(s = "http://x /* y"; translate("After"))src", {"After"}},
        {"methods of other objects", R"src(painter.translate(c); p->translate("x"); translate(variable))src", {}},
        {"named constant",
         R"src(inline constexpr char Named[] = "Named text";
             f(translate(QString::fromLatin1(some_ns::Named)));)src",
         {"Named text"}},
        {"constant never translated", R"src(inline constexpr char Wire[] = "GETFILE"; send(Wire);)src", {}},
        {"texts namespace",
         R"src(namespace corvala::status_texts {
             inline constexpr char A[] = "Alpha";
             inline constexpr char B[] = "Be" "ta";
             })src",
         {"Alpha", "Beta"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TranslatedLiterals literals;
        literals.AddSource(QString::fromUtf8(c.source));
        QStringList found = literals.Keys().values();
        found.sort();
        QStringList expected = c.keys;
        expected.sort();
        EXPECT_EQ(found, expected);
    }
}

// The committed table is what the generator makes of the committed source.
TEST(TableSource, GeneratedTableMatchesTheSource) {
    QFile tsv(sourceFile("src/i18n/languages.tsv"));
    ASSERT_TRUE(tsv.open(QIODevice::ReadOnly)) << tsv.fileName().toStdString();
    QStringList expected{"11"};
    for (const QString& line : QString::fromUtf8(tsv.readAll()).split(u'\n')) {
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList cells = line.split(u'\t');
        ASSERT_EQ(cells.size(), 11) << line.toStdString();
        expected += cells;
    }
    const std::string_view bytes = embeddedLanguageTable();
    ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    const QString actual = QString::fromUtf8(bytes.data() + 3, qsizetype(bytes.size() - 3));
    EXPECT_EQ(actual, expected.join("\r\n") + "\r\n")
        << "run src/i18n/make-languages-table.py after editing languages.tsv";
}

}  // namespace
}  // namespace corvala
