#include "dialogs/FormPassword.h"

#include <QCheckBox>
#include <QLineEdit>

#include "i18n/Translator.h"

namespace corvala {

TFormPassword::TFormPassword(QWidget* parent) : TPasswordPairForm("FormPassword", false, parent) {}

std::optional<HostPasswordAnswer> TFormPassword::Execute(const HostPasswordFill& fill) {
    Box()->setChecked(fill.Random);
    PasswordEdit()->setText(fill.Password);
    ConfirmEdit()->setText(fill.Password);
    ApplyEnabledState();
    exec();
    if (Tag != 1) return std::nullopt;
    return HostPasswordAnswer{Box()->isChecked(), PasswordEdit()->text()};
}

void TFormPassword::showEvent(QShowEvent* event) {
    TranslateFields(TranslationKey("Set Password"), TranslationKey("Generate random password every time"), "",
                    TranslationKey("Static Password:"));
    TPasswordPairForm::showEvent(event);
}

void TFormPassword::OkClick() {
    if (Box()->isChecked() || ValidatePair()) Confirm();
}

}  // namespace corvala
