#include "core/BrandingFile.h"

#include <QStringList>

namespace corvala {

std::optional<BrandingText> ReadBrandingText(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QStringList lines = text.split('\n');
    for (QString& line : lines) line.remove('\r');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    if (lines.size() != 2) return std::nullopt;
    BrandingText branding{lines[0], {}};
    // Only a file inside the program folder, named by the branding file.
    if (!lines[1].contains('/')) branding.BannerName = lines[1];
    return branding;
}

}  // namespace corvala
