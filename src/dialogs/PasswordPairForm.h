#pragma once
// What the host password dialog and the contacts book's password-setting
// dialog share: a check box, then a password and its confirmation in masked
// edits whose enabled state follows the box, and the one validation of a new
// password; Enter acts as OK anywhere in them.

#include <optional>

#include "dialogs/ChooserFrame.h"

class QCheckBox;
class QLineEdit;

namespace corvala {

class TPasswordPairForm : public TChooserFrame {
    Q_OBJECT
public:
    QCheckBox* Box() const { return chkBox; }
    QLineEdit* PasswordEdit() const { return edtPsw; }
    QLineEdit* ConfirmEdit() const { return edtConfirm; }

protected:
    // `fieldsWhenTicked`: whether the labels and edits are enabled while the
    // box is ticked (the book's dialog) or while it is not (the host's).
    TPasswordPairForm(const char* objectName, bool fieldsWhenTicked, QWidget* parent);
    void TranslateFields(const char* captionKey, const char* boxKey, const char* boxSuffix, const char* passwordKey);
    void ApplyEnabledState();
    // The shared validation; a refusal is shown in the message box and
    // keeps the window open. True when the pair holds.
    bool ValidatePair() const;

private:
    bool FFieldsWhenTicked;
    QCheckBox* chkBox;
    QLabel* lblPsw;
    QLineEdit* edtPsw;
    QLabel* lblConfirm;
    QLineEdit* edtConfirm;
};

// A masked edit as the credential dialogs show it ("*" per character).
QLineEdit* MakeMaskedEdit(const char* objectName, QWidget* parent);

}  // namespace corvala
