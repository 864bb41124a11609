#pragma once
// The interface language table and the lookup every shown text goes through.
//
// The table comes from the embedded resource "languages.txt": UTF-8 with a
// byte-order mark, CR LF line ends, the first line the number of languages N,
// then rows of N lines, one per language in a fixed order. Row 0 holds each
// language's own name, row 1 its code, every further row one interface text:
// English first, then its translations; an empty line is a missing
// translation. The English text is the key.
//
// Texts are translated first and formatted afterwards, so translations keep
// the placeholders of the English text in the same order.

#include <initializer_list>
#include <string_view>

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

namespace corvala {

class Translator {
public:
    // Builds the table from the resource's lines (count line first). A count
    // line that is not a positive number leaves the table empty. Resets
    // LanguageIndex to English.
    void build(const QStringList& lines);
    // build(splitTableLines(text))
    void buildFromUtf8(std::string_view text);

    bool isEmpty() const { return FColumns.isEmpty() || FRowCount == 0; }
    int languageCount() const { return int(FColumns.size()); }
    int rowCount() const { return FRowCount; }
    QString cell(int language, int row) const;
    QString languageName(int language) const { return cell(language, 0); }
    QString languageCode(int language) const { return cell(language, 1); }
    // Column of a code among the row-1 codes, -1 when absent.
    int languageIndexOf(const QString& code) const;

    // LanguageIndex := the column of `code`; English (0) when the table does
    // not know it. The stored code itself is not touched here, so an unknown
    // code stays in the settings until the user picks another language.
    void setLanguageCode(const QString& code);
    int languageIndex() const { return FLanguageIndex; }
    void setLanguageIndex(int index);

    // The text in the current language: the argument itself while events are
    // suspended, when the table is empty, when no row has this exact English
    // text, or when the row's cell for the language is empty.
    QString translate(const QString& english) const;

private:
    QVector<QStringList> FColumns;   // FColumns[language][row]
    QHash<QString, int> FFirstRow;   // English text -> first row holding it
    int FRowCount = 0;
    int FLanguageIndex = 0;
};

// The table of the running program. Empty until the main window builds it,
// so messages shown during start-up keep their English texts.
Translator& translator();

// The lines of UTF-8 table text: byte-order mark dropped, split at CR LF (a
// lone LF is accepted too). Start-up loads them; the main window builds from
// them.
QStringList splitTableLines(std::string_view text);

// translator().translate(english)
QString translate(const QString& english);

// An English text that is translated later by its key: a menu item, a row of
// a window's text table, a control's caption. Does nothing; it marks the
// literal so that the table check finds it in the source as it finds the
// literals passed to translate(). Likewise every text constant of a
// namespace named "..._texts" is a key.
constexpr const char* TranslationKey(const char* english) { return english; }

// `text` with its "%s" placeholders replaced by `values`, in order; a
// placeholder without a value stays.
QString FormatText(const QString& text, std::initializer_list<QString> values);

// The lines of the table linked into the program.
std::string_view embeddedLanguageTable();

}  // namespace corvala
