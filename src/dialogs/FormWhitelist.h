#pragma once
// "Set Whitelist": whether only the listed remote IDs may connect, and the
// list, one ID per line. Enter starts a new line of the list; OK refuses an
// empty list only while the box is ticked.

#include <optional>

#include "dialogs/ChooserFrame.h"
#include "features/Credentials.h"

class QCheckBox;
class QPlainTextEdit;

namespace corvala {

class TFormWhitelist : public TChooserFrame {
    Q_OBJECT
public:
    explicit TFormWhitelist(QWidget* parent = nullptr);

    // Shows the dialog filled from `current`, modally; the confirmed box and
    // the lines exactly as typed, nothing when cancelled or closed.
    std::optional<WhiteListAnswer> Execute(const WhiteListAnswer& current);

    QCheckBox* Box() const { return chkEnabled; }
    QPlainTextEdit* List() const { return memList; }

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;

private:
    void ApplyEnabledState();

    QCheckBox* chkEnabled;
    QLabel* lblList;
    QPlainTextEdit* memList;
};

}  // namespace corvala
