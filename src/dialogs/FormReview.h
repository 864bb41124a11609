#pragma once
// The review window: four ratings from 1 to 5 and a text, sent to the
// signalling server by the core; it closes once the review has gone.

#include "features/Review.h"
#include "widgets/ThemedDialog.h"

#include <array>
#include <functional>

class QButtonGroup;
class QPlainTextEdit;

namespace corvala {

class TFormReview : public TThemedDialog {
    Q_OBJECT
public:
    // Sends the review; false when it was not sent (the sender told the user why).
    using Sender = std::function<bool(const TReview& review)>;

    explicit TFormReview(Sender send, QWidget* parent = nullptr);

    TReview Review() const;

private:
    void SendClick();

    Sender FSend;
    std::array<QButtonGroup*, 4> FRatings{};
    QPlainTextEdit* memReview = nullptr;
};

}  // namespace corvala
