#include "session/AdmissionGate.h"

#include "i18n/Translator.h"

#include <QDateTime>

namespace corvala {

bool IsWhiteListed(const QStringList& whiteList, const QString& id) {
    for (const QString& line : whiteList)
        if (line.compare(id, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

TAdmissionGate::TAdmissionGate(Clock now)
    : FNow(now ? std::move(now) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); })) {}

TFailedLoginAttempts* TAdmissionGate::find(const QString& id) {
    for (TFailedLoginAttempts& record : FFailedLogins)
        if (record.PeerID == id)
            return &record;
    return nullptr;
}

std::optional<QString> TAdmissionGate::Check(const QString& from, const QString& password,
                                             const AdmissionRules& rules) {
    if (rules.WhiteListEnabled && !IsWhiteListed(rules.WhiteList, from))
        return QString::fromLatin1(admission::NotWhitelisted);

    const qint64 now = FNow();
    auto wholeSecondsUntil = [now](qint64 moment) { return QString::number((moment - now) / 1000); };

    TFailedLoginAttempts* record = find(from);
    if (record && record->NumberOfFailedAttempts > 5) {
        if (record->NearestAllowedTimeToLogin > now)
            return QString::fromLatin1(admission::TooManyAttemptsWait) +
                   wholeSecondsUntil(record->NearestAllowedTimeToLogin);
        if (password == rules.HostPassword) {
            record->NumberOfFailedAttempts = 0;
            record->SecondsToWaitUntilNextLogin = TFailedLoginAttempts::FirstWaitSeconds;
        }
    }

    if (password == rules.HostPassword)
        return std::nullopt;

    if (!record) {
        FFailedLogins.append(TFailedLoginAttempts{from});
        record = &FFailedLogins.last();
    }
    ++record->NumberOfFailedAttempts;
    if (record->NumberOfFailedAttempts <= 5)
        return QString::fromLatin1(admission::InvalidPassword);

    record->NearestAllowedTimeToLogin = now + qint64(record->SecondsToWaitUntilNextLogin) * 1000;
    record->SecondsToWaitUntilNextLogin =
        std::min(record->SecondsToWaitUntilNextLogin * 2, TFailedLoginAttempts::MaxWaitSeconds);
    return QString::fromLatin1(admission::InvalidPasswordTooManyAttemptsWait) +
           wholeSecondsUntil(record->NearestAllowedTimeToLogin);
}

std::optional<QString> AdmissionErrorWarning(const QString& kind, const QString& echoedPassword,
                                             const QString& sentPassword) {
    if (echoedPassword != sentPassword)
        return std::nullopt;
    const QString invalidPassword = translate(QStringLiteral("Invalid password."));
    if (kind == QLatin1String(admission::InvalidPassword))
        return invalidPassword;
    if (kind.contains(QLatin1String(admission::TooManyAttemptsWait))) {
        const QString tooMany = translate(QStringLiteral("Too many failed attempts. Please try again in %s seconds."));
        QString seconds = kind;
        if (kind.contains(QLatin1String(admission::InvalidPassword))) {
            seconds.remove(QLatin1String(admission::InvalidPasswordTooManyAttemptsWait), Qt::CaseInsensitive);
            return invalidPassword + QStringLiteral("\n\n") + QString(tooMany).replace(QStringLiteral("%s"), seconds);
        }
        seconds.remove(QLatin1String(admission::TooManyAttemptsWait));
        return QString(tooMany).replace(QStringLiteral("%s"), seconds);
    }
    if (kind == QLatin1String(admission::NotWhitelisted))
        return translate(QStringLiteral("Your ID is not in the white list."));
    return std::nullopt;
}

}  // namespace corvala
