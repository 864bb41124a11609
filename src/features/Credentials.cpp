#include "features/Credentials.h"

namespace corvala {

std::optional<CredentialRefusal> ValidateNewPassword(const QString& password, const QString& confirmation) {
    const QString typed = password.trimmed();
    const QString confirmed = confirmation.trimmed();
    if (typed.isEmpty()) return CredentialRefusal{MessageKind::Error, credential_texts::EnterPassword};
    if (typed.size() < MinPasswordLength)
        return CredentialRefusal{MessageKind::Error, credential_texts::PasswordTooShort};
    if (confirmed.isEmpty()) return CredentialRefusal{MessageKind::Warning, credential_texts::ConfirmPassword};
    if (typed != confirmed) return CredentialRefusal{MessageKind::Error, credential_texts::PasswordsDiffer};
    return std::nullopt;
}

std::optional<CredentialRefusal> ValidateWhiteList(bool enabled, const QString& listText) {
    if (enabled && listText.trimmed().isEmpty())
        return CredentialRefusal{MessageKind::Warning, credential_texts::WhiteListEmpty};
    return std::nullopt;
}

QStringList WhiteListLines(const QString& listText) {
    if (listText.isEmpty()) return {};
    QString text = listText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.split(u'\n');
}

bool DisplayNameRefusesKey(QChar typed) { return typed == u'(' || typed == u')'; }

std::optional<QString> ConfirmedDisplayName(const QString& edited) {
    const QString name = edited.trimmed();
    if (name.isEmpty()) return std::nullopt;
    return name;
}

HostPasswordFill FillHostPasswordDialog(const HostPasswordState& current, bool withSender) {
    HostPasswordFill fill;
    fill.Random = current.RandomPasswordMode;
    if (!fill.Random) fill.Password = current.HostPassword;
    fill.OpenedWithStatic = !fill.Random && withSender;
    if (!withSender) {
        fill.Random = false;
        fill.Password.clear();
    }
    return fill;
}

HostPasswordState ApplyHostPasswordAnswer(const HostPasswordState& current, const HostPasswordFill& opened,
                                          const HostPasswordAnswer& answer, const std::function<QString()>& newRandom) {
    HostPasswordState next = current;
    next.RandomPasswordMode = answer.Random;
    if (!answer.Random)
        next.HostPassword = answer.Password.trimmed();
    else if (opened.OpenedWithStatic)
        next.HostPassword = newRandom();
    return next;
}

}  // namespace corvala
