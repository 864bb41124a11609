#include "dialogs/FormReview.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "base/ProductInfo.h"
#include "i18n/Translator.h"

namespace corvala {

TFormReview::TFormReview(Sender send, QWidget* parent)
    : TThemedDialog(translate("Send Feedback"), parent), FSend(std::move(send)) {
    setObjectName("TFormReview");
    QWidget* body = Body()->parentWidget();
    static const char* const points[] = {TranslationKey("Ease of use:"), TranslationKey("Picture quality:"),
                                         TranslationKey("Speed:"), TranslationKey("Overall:")};
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(14);
    for (int row = 0; row < 4; ++row) {
        grid->addWidget(new QLabel(translate(points[row]), body), row, 0);
        FRatings[row] = new QButtonGroup(this);
        for (int value = TReview::MinRating; value <= TReview::MaxRating; ++value) {
            auto* option = new QRadioButton(QString::number(value), body);
            option->setObjectName(QString("rbRating%1_%2").arg(row).arg(value));
            FRatings[row]->addButton(option, value);
            grid->addWidget(option, row, value);
        }
    }
    auto* reviewCaption = new QLabel(translate("Your review:"), body);
    memReview = new QPlainTextEdit(body);
    memReview->setObjectName("memReview");
    memReview->setMinimumHeight(140);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    QPushButton* sendButton = AddAccentButton(translate("Send"), body);
    sendButton->setObjectName("btnSend");
    QPushButton* cancel = AddAccentButton(translate("Cancel"), body);
    cancel->setObjectName("btnCancel");
    buttons->addWidget(sendButton);
    buttons->addWidget(cancel);
    connect(sendButton, &QPushButton::clicked, this, &TFormReview::SendClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    Body()->addLayout(grid);
    Body()->addWidget(reviewCaption);
    Body()->addWidget(memReview, 1);
    Body()->addLayout(buttons);
    setMinimumWidth(480);
}

TReview TFormReview::Review() const {
    TReview review;
    for (int row = 0; row < 4; ++row) review.Ratings[row] = std::max(0, FRatings[row]->checkedId());
    review.Text = memReview->toPlainText();
    return review;
}

void TFormReview::SendClick() {
    if (FSend && FSend(Review())) accept();
}

}  // namespace corvala
