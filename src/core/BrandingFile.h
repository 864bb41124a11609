#pragma once
// The branding file "crcustom1.txt" as text: UTF-8, a byte-order mark
// allowed, exactly two lines (LF or CR LF; one final line end allowed): the
// support contact, then the file name of the banner picture in the program
// folder. Whether that picture exists is the caller's question.

#include <QByteArray>
#include <QString>

#include <optional>

namespace corvala {

struct BrandingText {
    QString Contact;
    // A plain file name, or empty when the line is empty or names a path.
    QString BannerName;
};

// Nothing when the text does not have exactly two lines.
std::optional<BrandingText> ReadBrandingText(const QByteArray& bytes);

}  // namespace corvala
