#pragma once
// "Contacts": asks for the contacts book's password. One masked edit,
// emptied each time the dialog is shown; OK takes what was typed, without
// checks; Enter acts as OK.

#include <QString>

#include <optional>

#include "dialogs/ChooserFrame.h"

class QLineEdit;

namespace corvala {

class TfrmPasswordInput : public TChooserFrame {
    Q_OBJECT
public:
    explicit TfrmPasswordInput(QWidget* parent = nullptr);

    // The typed password; nothing when cancelled or closed.
    std::optional<QString> Execute();
    QLineEdit* PasswordEdit() const { return edtPassword; }

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* edtPassword;
};

}  // namespace corvala
