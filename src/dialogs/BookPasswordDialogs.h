#pragma once
// The contacts book's two password dialogs, as the book uses them.

#include <QString>

#include <optional>

class QWidget;

namespace corvala {

// Shows TfrmPasswordSet with both edits holding `current`; nullopt when
// cancelled; an empty string when the check box is off.
std::optional<QString> AskNewBookPassword(QWidget* parent, const QString& current = {});
// Shows TfrmPasswordInput; nullopt when cancelled.
std::optional<QString> AskBookPassword(QWidget* parent);

}  // namespace corvala
