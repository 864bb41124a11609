#include "dialogs/FormDisplayName.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include "features/Credentials.h"
#include "i18n/Translator.h"

namespace corvala {

TFormDisplayName::TFormDisplayName(QWidget* parent) : TChooserFrame("FormDisplayName", {380, 150}, parent) {
    QVBoxLayout* column = AddFieldColumn();
    QWidget* fields = column->parentWidget();
    edtName = new QLineEdit(fields);
    edtName->setObjectName("edtName");
    column->addWidget(edtName);
    column->addStretch(1);
    edtName->installEventFilter(this);
}

std::optional<QString> TFormDisplayName::Execute(const QString& current) {
    edtName->setText(current);
    exec();
    if (Tag != 1) return std::nullopt;
    return edtName->text();
}

void TFormDisplayName::showEvent(QShowEvent* event) {
    TranslateFrame(TranslationKey("Set Display Name"), TranslationKey("Your display name:"));
    edtName->setFocus();
    TChooserFrame::showEvent(event);
}

bool TFormDisplayName::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtName && event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        if (typed.size() == 1 && DisplayNameRefusesKey(typed.front())) return true;
    }
    return TChooserFrame::eventFilter(watched, event);
}

void TFormDisplayName::OkClick() { Confirm(); }

}  // namespace corvala
