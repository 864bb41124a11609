#pragma once
// What the web site's version answer and "What's new" text mean for this
// copy: pure decisions, tested on their own.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvala::update {

// "/download/version.html": "<current>/<minimum>", both decimal.
struct VersionAnswer {
    int Current = 0;
    int Minimum = 0;
    // The current number with a point before its last digit (43: "4.3").
    QString OfferedVersionText;
};

// Nothing when the text is not two numbers around the first "/" (letters,
// no "/", a number too long to be a version). Space and line ends around
// the numbers are allowed.
std::optional<VersionAnswer> ParseVersionAnswer(const QByteArray& body);

enum class UpdateOutcome {
    Nothing,    // this version is current
    Offer,      // a newer version exists: the update tool image
    OutOfDate,  // this version is below the accepted minimum: the notice
};
UpdateOutcome DecideUpdate(const VersionAnswer& answer, int ownVersion);

// The lines of the "What's new" text (UTF-8), empty lines removed. A text
// beyond MaxWhatsNewLines lines or a line beyond MaxWhatsNewLineLength
// characters is cut there (and logged): the heading must still fit.
inline constexpr int MaxWhatsNewLines = 40;
inline constexpr int MaxWhatsNewLineLength = 300;
QStringList ParseWhatsNew(const QByteArray& body);

}  // namespace corvala::update
