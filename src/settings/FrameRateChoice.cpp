#include "settings/FrameRateChoice.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

#include "base/Log.h"

namespace corvala {

namespace {

constexpr QByteArrayView FrameRateKey = "frame_rate";

}  // namespace

FrameRateChoice::FrameRateChoice(QString filePath) : FPath(std::move(filePath)), FRate(Read()) {}

bool FrameRateChoice::Offered(int rate) { return std::find(Rates.begin(), Rates.end(), rate) != Rates.end(); }

int FrameRateChoice::Read() const {
    QFile file(FPath);
    if (!file.exists()) return DefaultRate;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcSettings) << "cannot read" << FPath << "-" << file.errorString() << "- frame rate"
                              << DefaultRate;
        return DefaultRate;
    }
    // One byte more than allowed tells an oversized file without reading it all.
    const QByteArray content = file.read(MaxFileSize + 1);
    if (content.size() > MaxFileSize) {
        qCWarning(lcSettings) << FPath << "is larger than" << MaxFileSize << "bytes - frame rate" << DefaultRate;
        return DefaultRate;
    }
    int rate = DefaultRate;
    int lineNumber = 0;
    for (const QByteArray& raw : content.split('\n')) {
        ++lineNumber;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0 || line.left(equals).trimmed() != FrameRateKey) {
            qCInfo(lcSettings) << FPath << "line" << lineNumber << "ignored:" << line.left(64);
            continue;
        }
        bool number = false;
        const int value = line.mid(equals + 1).trimmed().toInt(&number);
        rate = number && Offered(value) ? value : DefaultRate;
        if (rate != value)
            qCWarning(lcSettings) << FPath << "line" << lineNumber << "has no offered frame rate:" << line.left(64)
                                  << "- frame rate" << DefaultRate;
    }
    return rate;
}

bool FrameRateChoice::Choose(int rate) {
    if (!Offered(rate)) {
        qCWarning(lcSettings) << "frame rate" << rate << "is not offered; it stays" << FRate;
        return false;
    }
    FRate = rate;
    QSaveFile file(FPath);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("# Corvala video settings: key=value, one per line.\n");
        file.write(FrameRateKey.toByteArray() + "=" + QByteArray::number(rate) + "\n");
        if (file.commit()) return true;
    }
    qCWarning(lcSettings) << "cannot write" << FPath << "-" << file.errorString() << "- frame rate" << rate
                          << "holds for this run only";
    return false;
}

}  // namespace corvala
