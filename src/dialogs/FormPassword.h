#pragma once
// "Set Password": a random password at every start, or a static one typed
// twice. While "random" is ticked the edits are disabled and OK takes no
// check; otherwise the new password must pass the shared validation.

#include "dialogs/PasswordPairForm.h"
#include "features/Credentials.h"

namespace corvala {

class TFormPassword : public TPasswordPairForm {
    Q_OBJECT
public:
    explicit TFormPassword(QWidget* parent = nullptr);

    // Shows the dialog filled with `fill`, modally; the confirmed answer,
    // nothing when cancelled or closed.
    std::optional<HostPasswordAnswer> Execute(const HostPasswordFill& fill);

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace corvala
