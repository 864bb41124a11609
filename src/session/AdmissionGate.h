#pragma once
// The host's gate in front of every peer message: the white list, then the
// lock-out after repeated wrong passwords, then the password itself.
//
// Per viewer ID the gate moves through: Unknown -> Counting (1 to 5 wrong
// passwords) -> Locked (a lock-out runs) -> Waiting-over (the lock-out ended
// but the count is still above 5: the next right password clears the record,
// the next wrong one starts a lock-out twice as long). A right password
// before the sixth failure does not clear the count, so wrong passwords add
// up across sessions until a lock-out has been sat out.
//
// IDs cost an attacker nothing, so the host also counts the wrong passwords
// of all IDs together: past HostWideFailures of them within
// HostWideWindowSeconds every password check waits, whoever sends it, with
// the same doubling capped at five minutes. Guessing cannot be spread over
// many IDs, and the owner is slowed, never locked out for long. The records
// are bounded (the oldest goes first) and found by hashing.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

namespace corvala {

// Error kinds a host answers with (the `type` of the error object).
namespace admission {
inline constexpr char NotWhitelisted[] = "not_whitelisted";
inline constexpr char InvalidPassword[] = "invalid_password";
inline constexpr char TooManyAttemptsWait[] = "too_many_attempts_wait_";
inline constexpr char InvalidPasswordTooManyAttemptsWait[] = "invalid_password_too_many_attempts_wait_";
}  // namespace admission

// One viewer ID that has sent a wrong password.
struct TFailedLoginAttempts {
    static constexpr int FirstWaitSeconds = 30;
    // The doubling stops here, so that a patient attacker cannot push the
    // wait past the integer's range and a user is never locked out for more
    // than a day.
    static constexpr int MaxWaitSeconds = 24 * 60 * 60;

    QString PeerID;
    int NumberOfFailedAttempts = 0;
    int SecondsToWaitUntilNextLogin = FirstWaitSeconds;
    qint64 NearestAllowedTimeToLogin = 0;  // ms since the epoch; 0 = no lock-out yet
};

// What the host's settings say about who may come in.
struct AdmissionRules {
    bool WhiteListEnabled = false;
    QStringList WhiteList;  // one ID per line, as typed
    QString HostPassword;
};

// True when `id` equals one line of the list as a whole line, letter case ignored.
bool IsWhiteListed(const QStringList& whiteList, const QString& id);

class TAdmissionGate {
public:
    using Clock = std::function<qint64()>;  // ms since the epoch

    static constexpr int MaxRecords = 10000;
    static constexpr int HostWideFailures = 20;
    static constexpr int HostWideWindowSeconds = 60;
    static constexpr int HostWideMaxWaitSeconds = 5 * 60;

    // Defaults to the system clock.
    explicit TAdmissionGate(Clock now = {});

    // Checks one message from `from` carrying `password`. Nothing when it is
    // admitted, else the error kind to answer with (a lock-out kind carries
    // its whole seconds).
    std::optional<QString> Check(const QString& from, const QString& password, const AdmissionRules& rules);

    // FailedLogins: in order of first failure, at most MaxRecords.
    QList<TFailedLoginAttempts> FailedLogins() const;
    // The end of the host-wide wait (ms since the epoch); 0 when none ran.
    qint64 HostWideWaitUntil() const { return FHostWideUntil; }

private:
    TFailedLoginAttempts& RecordOf(const QString& id);
    // Counts one failure host-wide; true when it started a host-wide wait.
    bool CountHostWide(qint64 now);

    Clock FNow;
    QHash<QString, TFailedLoginAttempts> FRecords;
    std::deque<QString> FOrder;  // IDs in the order of their first failure
    std::deque<qint64> FRecentFailures;  // the last HostWideFailures failures' times
    qint64 FHostWideUntil = 0;
    int FHostWideWaitSeconds = TFailedLoginAttempts::FirstWaitSeconds;
};

// The warning a viewer shows for a host's error object, translated, or
// nothing. The error counts only when `echoedPassword` (the password the host
// received) is the one this viewer last sent: replies to older attempts are
// dropped silently.
std::optional<QString> AdmissionErrorWarning(const QString& kind, const QString& echoedPassword,
                                             const QString& sentPassword);

}  // namespace corvala
