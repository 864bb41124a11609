#pragma once
// The English texts the program's source hands to translation, read from the
// source files themselves: literals passed to translate() (also wrapped in
// QStringLiteral, QString::fromLatin1 and the like), literals marked with
// TranslationKey(), named text constants passed to either, and every text
// constant of a namespace whose name ends in "_texts". Arguments that are
// variables are left out: their texts come from one of these places.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace corvala::testing_support {

class TranslatedLiterals {
public:
    // One source file's text.
    void AddSource(const QString& code);
    // Every .cpp and .h file below `folder`.
    void AddFolder(const QString& folder);
    // The keys, named constants resolved across all files added so far.
    QSet<QString> Keys() const;
    int FileCount() const { return FFiles; }

private:
    QSet<QString> FKeys;
    QSet<QString> FNamesUsed;
    QHash<QString, QStringList> FConstants;  // unqualified name -> its texts
    int FFiles = 0;
};

// The source without its comments; string and character literals stay as
// they are (a "//" inside a literal is no comment).
QString WithoutComments(const QString& code);

// The text of adjacent C++ string literals ("a" "b" gives ab), escapes
// resolved.
QString LiteralText(const QString& literals);

}  // namespace corvala::testing_support
