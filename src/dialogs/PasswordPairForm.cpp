#include "dialogs/PasswordPairForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "features/Credentials.h"
#include "i18n/Translator.h"
#include "widgets/FormMessage.h"

namespace corvala {

namespace {
constexpr QSize ClientSize{400, 220};
}

QLineEdit* MakeMaskedEdit(const char* objectName, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    return edit;
}

TPasswordPairForm::TPasswordPairForm(const char* objectName, bool fieldsWhenTicked, QWidget* parent)
    : TChooserFrame(objectName, ClientSize, parent), FFieldsWhenTicked(fieldsWhenTicked) {
    QVBoxLayout* column = AddFieldColumn();
    QWidget* fields = column->parentWidget();
    auto* grid = new QGridLayout;
    column->addLayout(grid);
    chkBox = new QCheckBox(fields);
    chkBox->setObjectName("chkBox");
    lblPsw = new QLabel(fields);
    lblPsw->setObjectName("lblPsw");
    edtPsw = MakeMaskedEdit("edtPsw", fields);
    lblConfirm = new QLabel(fields);
    lblConfirm->setObjectName("lblConfirm");
    edtConfirm = MakeMaskedEdit("edtConfirm", fields);
    lblPsw->setBuddy(edtPsw);
    lblConfirm->setBuddy(edtConfirm);
    grid->addWidget(chkBox, 0, 0, 1, 2);
    grid->addWidget(lblPsw, 1, 0);
    grid->addWidget(edtPsw, 1, 1);
    grid->addWidget(lblConfirm, 2, 0);
    grid->addWidget(edtConfirm, 2, 1);
    column->addStretch(1);
    connect(chkBox, &QCheckBox::toggled, this, [this] { ApplyEnabledState(); });
    EnterConfirms();
}

void TPasswordPairForm::TranslateFields(const char* captionKey, const char* boxKey, const char* boxSuffix,
                                        const char* passwordKey) {
    TranslateFrame(captionKey, nullptr);
    chkBox->setText(translate(boxKey) + QString::fromLatin1(boxSuffix));
    lblPsw->setText(translate(passwordKey));
    lblConfirm->setText(translate(QStringLiteral("Confirm:")));
}

void TPasswordPairForm::ApplyEnabledState() {
    const bool enabled = chkBox->isChecked() == FFieldsWhenTicked;
    for (QWidget* field : std::initializer_list<QWidget*>{lblPsw, edtPsw, lblConfirm, edtConfirm})
        field->setEnabled(enabled);
}

bool TPasswordPairForm::ValidatePair() const {
    const auto refusal = ValidateNewPassword(edtPsw->text(), edtConfirm->text());
    if (!refusal) return true;
    ShowAppMessage(true, refusal->Kind, translate(QString::fromLatin1(refusal->Text)));
    return false;
}

}  // namespace corvala
