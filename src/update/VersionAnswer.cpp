#include "update/VersionAnswer.h"

#include "base/ProductInfo.h"
#include "update/UpdateLog.h"

namespace corvala::update {

namespace {

// More digits than any version number has; also keeps the number inside int.
constexpr qsizetype MaxDigits = 6;

std::optional<int> ParseNumber(const QByteArray& text) {
    const QByteArray digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > MaxDigits) return std::nullopt;
    for (const char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    return digits.toInt();
}

}  // namespace

std::optional<VersionAnswer> ParseVersionAnswer(const QByteArray& body) {
    const qsizetype slash = body.indexOf('/');
    const auto current = ParseNumber(slash < 0 ? body : body.left(slash));
    const auto minimum = slash < 0 ? std::nullopt : ParseNumber(body.mid(slash + 1));
    if (!current || !minimum) {
        qCWarning(lcUpdate) << "version answer dropped: not two numbers around \"/\":" << body.left(64);
        return std::nullopt;
    }
    return VersionAnswer{*current, *minimum, VersionText(*current)};
}

UpdateOutcome DecideUpdate(const VersionAnswer& answer, int ownVersion) {
    if (answer.Minimum > ownVersion) return UpdateOutcome::OutOfDate;
    if (answer.Current > ownVersion) return UpdateOutcome::Offer;
    return UpdateOutcome::Nothing;
}

QStringList ParseWhatsNew(const QByteArray& body) {
    QStringList lines;
    for (QString line : QString::fromUtf8(body).split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty()) continue;
        if (lines.size() == MaxWhatsNewLines) {
            qCWarning(lcUpdate) << "\"What's new\" cut after" << MaxWhatsNewLines << "lines";
            break;
        }
        if (line.size() > MaxWhatsNewLineLength) {
            qCWarning(lcUpdate) << "\"What's new\" line cut from" << line.size() << "characters";
            line.truncate(MaxWhatsNewLineLength);
        }
        lines << line;
    }
    return lines;
}

}  // namespace corvala::update
