#include "features/Review.h"

#include <QSettings>

#include <algorithm>

#include "signalling/SignallingMessage.h"

namespace corvala {

namespace {
constexpr char SentKey[] = "review/sent";
}

bool TReview::Rated() const {
    return std::all_of(Ratings.begin(), Ratings.end(), [](int r) { return r >= MinRating && r <= MaxRating; });
}

QString TReview::Payload(const QString& deviceId, bool firstReview) const {
    QString ratings;
    for (int r : Ratings) ratings += QString::number(r);
    return "ID:" + deviceId + "; first review:" + (firstReview ? "yes" : "no") + "; ratings:" + ratings +
           "; review:" + Text;
}

QByteArray TReview::Line(const QString& deviceId, bool firstReview) const {
    return GetMessage(deviceId, QStringLiteral("review"), {}, {}, Payload(deviceId, firstReview));
}

qsizetype TReview::Excess(const QString& deviceId, bool firstReview) const {
    return Line(deviceId, firstReview).size() - qsizetype(wire::MaxLineLength);
}

bool TReviewRecord::FirstReview() const {
    return !QSettings(FPath, QSettings::IniFormat).value(SentKey, false).toBool();
}

bool TReviewRecord::MarkSent() const {
    QSettings settings(FPath, QSettings::IniFormat);
    settings.setValue(SentKey, true);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace corvala
