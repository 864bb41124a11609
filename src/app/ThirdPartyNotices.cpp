#include "app/ThirdPartyNotices.h"

#include "base/EmbeddedResource.h"

CORVALA_DECLARE_RESOURCE(corvala_third_party)

namespace corvala {

QList<ThirdPartyNotice> ParseThirdPartyNotices(std::string_view text) {
    QList<ThirdPartyNotice> notices;
    for (const QString& line : QString::fromUtf8(text.data(), qsizetype(text.size())).split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#')) continue;
        const QStringList cells = line.split('\t');
        if (cells.size() != 4) continue;
        ThirdPartyNotice notice{{}, cells[1], cells[2], cells[3].trimmed()};
        if (cells[0] != "-") notice.FilePrefixes = cells[0].split(',', Qt::SkipEmptyParts);
        notices.append(notice);
    }
    return notices;
}

QList<ThirdPartyNotice> ThirdPartyNotices() { return ParseThirdPartyNotices(CORVALA_RESOURCE(corvala_third_party)); }

}  // namespace corvala
