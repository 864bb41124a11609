#include "dialogs/FormPasswordInput.h"

#include <QLineEdit>
#include <QVBoxLayout>

#include "dialogs/PasswordPairForm.h"
#include "i18n/Translator.h"

namespace corvala {

TfrmPasswordInput::TfrmPasswordInput(QWidget* parent) : TChooserFrame("frmPasswordInput", {380, 150}, parent) {
    QVBoxLayout* column = AddFieldColumn();
    QWidget* fields = column->parentWidget();
    edtPassword = MakeMaskedEdit("edtPassword", fields);
    column->addWidget(edtPassword);
    column->addStretch(1);
    EnterConfirms();
}

std::optional<QString> TfrmPasswordInput::Execute() {
    exec();
    if (Tag != 1) return std::nullopt;
    return edtPassword->text();
}

void TfrmPasswordInput::showEvent(QShowEvent* event) {
    TranslateFrame(TranslationKey("Contacts"), TranslationKey("Enter the password for this contact book:"));
    edtPassword->clear();
    edtPassword->setFocus();
    TChooserFrame::showEvent(event);
}

void TfrmPasswordInput::OkClick() { Confirm(); }

}  // namespace corvala
