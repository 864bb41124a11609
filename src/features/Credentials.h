#pragma once
// The rules behind the credential dialogs, without widgets: what a new
// password must satisfy (the host password and the contacts book's share
// them), when a white list may be confirmed, which keys the display name
// refuses, and what the host password dialog opens with and leaves behind.

#include <QChar>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "base/MessageKind.h"

namespace corvala {

namespace credential_texts {
inline constexpr char EnterPassword[] = "Please enter your password";
inline constexpr char PasswordTooShort[] = "Your password must be at least 8 characters.";
inline constexpr char ConfirmPassword[] = "Please confirm your password.";
inline constexpr char PasswordsDiffer[] = "Passwords do not match.";
inline constexpr char WhiteListEmpty[] = "The white list cannot be empty.";
}  // namespace credential_texts

// Why a dialog stays open: the message box's kind and its English text.
struct CredentialRefusal {
    MessageKind Kind;
    const char* Text;
};

inline constexpr int MinPasswordLength = 8;

// A new password and its confirmation, both measured and compared trimmed;
// the first rule broken, or nothing when the pair is fine.
std::optional<CredentialRefusal> ValidateNewPassword(const QString& password, const QString& confirmation);

// The white-list dialog's OK: refused only when the list is on and holds
// nothing but blanks.
std::optional<CredentialRefusal> ValidateWhiteList(bool enabled, const QString& listText);

// The white list as the settings keep it: the lines exactly as typed.
QStringList WhiteListLines(const QString& listText);

// What the confirmed white-list dialog says.
struct WhiteListAnswer {
    bool Enabled = false;
    QStringList List;
};

// Keys the display-name edit drops: a name ends up in entries of the form
// "name (ID)", where a parenthesis would make it a different ID.
bool DisplayNameRefusesKey(QChar typed);

// The display name a confirmed dialog stores: the trimmed text, or nothing
// when it is empty (the old name stays).
std::optional<QString> ConfirmedDisplayName(const QString& edited);

// The host password as the settings hold it.
struct HostPasswordState {
    bool RandomPasswordMode = true;
    QString HostPassword;
    bool operator==(const HostPasswordState&) const = default;
};

// What the host password dialog shows when it opens.
struct HostPasswordFill {
    bool Random = true;
    QString Password;  // both edits
    // The edits were filled with the static password in use: ticking
    // "random" then makes a new random password.
    bool OpenedWithStatic = false;
};

// What the confirmed dialog says.
struct HostPasswordAnswer {
    bool Random = true;
    QString Password;  // as typed; the state keeps it trimmed
};

// The dialog's contents for the current state. Without a sender (the
// automatic start asks for a static password) the box is unticked and the
// edits empty.
HostPasswordFill FillHostPasswordDialog(const HostPasswordState& current, bool withSender);

// The state after a confirmed dialog; `newRandom` makes a random password
// when one is needed. A random password already in use stays.
HostPasswordState ApplyHostPasswordAnswer(const HostPasswordState& current, const HostPasswordFill& opened,
                                          const HostPasswordAnswer& answer, const std::function<QString()>& newRandom);

}  // namespace corvala
