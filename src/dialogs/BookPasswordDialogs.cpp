#include "dialogs/BookPasswordDialogs.h"

#include "dialogs/FormPasswordInput.h"
#include "dialogs/FormPasswordSet.h"

namespace corvala {

std::optional<QString> AskNewBookPassword(QWidget* parent, const QString& current) {
    return TfrmPasswordSet(parent).Execute(current);
}

std::optional<QString> AskBookPassword(QWidget* parent) { return TfrmPasswordInput(parent).Execute(); }

}  // namespace corvala
