#include "transfer/TransferProgress.h"

#include "i18n/Translator.h"

#include <QLocale>

#include <cmath>

namespace corvala::transfer {

std::optional<int> ProgressPercent(std::int64_t done, std::int64_t total) {
    if (total <= 0) return std::nullopt;
    // nearbyint rounds halves to even in the default rounding mode.
    return int(std::nearbyint(double(done) * 100.0 / double(total)));
}

std::optional<std::int64_t> RemainingSeconds(std::int64_t done, std::int64_t total, std::int64_t elapsedMs) {
    if (done <= 0 || elapsedMs <= 0 || total < done) return std::nullopt;
    const double rate = double(done) / double(elapsedMs);  // bytes per millisecond
    return std::int64_t(std::ceil(double(total - done) / rate / 1000.0));
}

QString ProgressLine(std::int64_t done, std::int64_t total, std::optional<std::int64_t> remainingSeconds) {
    const QLocale locale;
    const auto size = [&](std::int64_t bytes) { return locale.formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat); };
    QString line = FormatText(translate("%s of %s"), {size(done), size(total)});
    if (const auto percent = ProgressPercent(done, total)) line += QString(" (%1 %)").arg(*percent);
    if (remainingSeconds) {
        const std::int64_t s = *remainingSeconds;
        const QString time =
            QString("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
        line += ", " + FormatText(translate("%s remaining"), {time});
    }
    return line;
}

}  // namespace corvala::transfer
