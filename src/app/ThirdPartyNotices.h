#pragma once
// The libraries the program ships or links, with their licences: one list in
// the tree (ThirdPartyNotices.tsv), linked into the program, shown by the
// About window and held against what the build really links by a test.

#include <QList>
#include <QString>
#include <QStringList>

#include <string_view>

namespace corvala {

struct ThirdPartyNotice {
    QStringList FilePrefixes;  // the libraries' file names begin so; empty for plugins
    QString Name;
    QString Licence;
    QString WebSite;
};

// Rows of the list's text (tab-separated; "#" lines are comments).
QList<ThirdPartyNotice> ParseThirdPartyNotices(std::string_view text);
// The list linked into the program.
QList<ThirdPartyNotice> ThirdPartyNotices();

}  // namespace corvala
