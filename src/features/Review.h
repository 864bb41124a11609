#pragma once
// A user's review of the program as the signalling server receives it: four
// ratings and a text in one "review" line. The line must stay within the
// wire's limit after escaping, so the text's allowance depends on what it
// holds (a character outside ASCII takes six on the wire).

#include <QByteArray>
#include <QString>

#include <array>

namespace corvala {

struct TReview {
    static constexpr int MinRating = 1;
    static constexpr int MaxRating = 5;

    std::array<int, 4> Ratings{};  // 0: not rated yet
    QString Text;

    bool Rated() const;
    // "ID:" + id + "; first review:" + yes/no + "; ratings:" + the four
    // digits + "; review:" + text.
    QString Payload(const QString& deviceId, bool firstReview) const;
    // The whole signalling line (without its line end).
    QByteArray Line(const QString& deviceId, bool firstReview) const;
    // By how many characters the line is longer than the wire allows; 0 or
    // less when it fits.
    qsizetype Excess(const QString& deviceId, bool firstReview) const;
};

// Whether this copy has sent a review before; kept in a small file of its
// own in the program folder, not in the settings.
class TReviewRecord {
public:
    explicit TReviewRecord(QString path) : FPath(std::move(path)) {}
    bool FirstReview() const;
    bool MarkSent() const;

    static constexpr char FileName[] = "feedback.ini";

private:
    QString FPath;
};

}  // namespace corvala
