#pragma once
// The contacts book's password-setting dialog: with its box ticked the new
// password must pass the shared validation; unticked, OK empties both edits
// and the book goes unprotected.

#include <QString>

#include "dialogs/PasswordPairForm.h"

namespace corvala {

class TfrmPasswordSet : public TPasswordPairForm {
    Q_OBJECT
public:
    explicit TfrmPasswordSet(QWidget* parent = nullptr);

    // Shows the dialog modally with the box ticked and both edits holding
    // `current` (the book's password; empty when it has none): the confirmed
    // password (trimmed, as the validation measured it), empty when the box
    // was off, nothing when cancelled.
    std::optional<QString> Execute(const QString& current = {});

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace corvala
