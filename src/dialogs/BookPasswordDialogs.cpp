#include "dialogs/BookPasswordDialogs.h"

#include "i18n/Translator.h"

#include <QInputDialog>
#include <QLineEdit>

namespace corvala {

namespace {

std::optional<QString> AskMasked(QWidget* parent, const QString& title, const QString& label) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Password, QString(), &ok);
    if (!ok) return std::nullopt;
    return text;
}

}  // namespace

std::optional<QString> AskNewBookPassword(QWidget* parent) {
    return AskMasked(parent, translate(QStringLiteral("Set Password")),
                     translate(QStringLiteral("Password for Contacts Book")) + u':');
}

std::optional<QString> AskBookPassword(QWidget* parent) {
    return AskMasked(parent, translate(QStringLiteral("Contacts")),
                     translate(QStringLiteral("Enter the password for this contact book:")));
}

}  // namespace corvala
