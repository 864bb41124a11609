#pragma once
// "Set Display Name": the name peers see. Typing "(" or ")" into the edit
// does nothing (a name ends up in entries of the form "name (ID)"); text
// pasted in is not filtered. Enter presses OK, the default button.

#include <QString>

#include <optional>

#include "dialogs/ChooserFrame.h"

class QLineEdit;

namespace corvala {

class TFormDisplayName : public TChooserFrame {
    Q_OBJECT
public:
    explicit TFormDisplayName(QWidget* parent = nullptr);

    // Shows the dialog with `current` in the edit, modally; the edit's text
    // when confirmed, nothing when cancelled or closed.
    std::optional<QString> Execute(const QString& current);
    QLineEdit* NameEdit() const { return edtName; }

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* edtName;
};

}  // namespace corvala
