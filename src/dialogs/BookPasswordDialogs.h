#pragma once
// The contacts book's two password dialogs.
//
// This is a plain stand-in with the final interface, so that the book works
// before the themed dialogs arrive; they replace this file whole.

#include <QString>

#include <optional>

class QWidget;

namespace corvala {

// Shows TfrmPasswordSet; nullopt when cancelled; an empty string when the check box is off.
std::optional<QString> AskNewBookPassword(QWidget* parent);
// Shows TfrmPasswordInput; nullopt when cancelled.
std::optional<QString> AskBookPassword(QWidget* parent);

}  // namespace corvala
