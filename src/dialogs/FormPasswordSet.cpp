#include "dialogs/FormPasswordSet.h"

#include <QCheckBox>
#include <QLineEdit>

#include "i18n/Translator.h"

namespace corvala {

TfrmPasswordSet::TfrmPasswordSet(QWidget* parent) : TPasswordPairForm("frmPasswordSet", true, parent) {}

std::optional<QString> TfrmPasswordSet::Execute(const QString& current) {
    Box()->setChecked(true);
    PasswordEdit()->setText(current);
    ConfirmEdit()->setText(current);
    ApplyEnabledState();
    exec();
    if (Tag != 1) return std::nullopt;
    return PasswordEdit()->text().trimmed();
}

void TfrmPasswordSet::showEvent(QShowEvent* event) {
    TranslateFields(TranslationKey("Set Password"), TranslationKey("Password for Contacts Book"), ":",
                    TranslationKey("Password:"));
    TPasswordPairForm::showEvent(event);
}

void TfrmPasswordSet::OkClick() {
    if (Box()->isChecked()) {
        if (ValidatePair()) Confirm();
        return;
    }
    PasswordEdit()->clear();
    ConfirmEdit()->clear();
    Confirm();
}

}  // namespace corvala
