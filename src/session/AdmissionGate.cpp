#include "session/AdmissionGate.h"

#include "base/Log.h"
#include "i18n/Translator.h"

#include <QDateTime>

#include <algorithm>

namespace corvala {

bool IsWhiteListed(const QStringList& whiteList, const QString& id) {
    for (const QString& line : whiteList)
        if (line.compare(id, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

TAdmissionGate::TAdmissionGate(Clock now)
    : FNow(now ? std::move(now) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); })) {}

QList<TFailedLoginAttempts> TAdmissionGate::FailedLogins() const {
    QList<TFailedLoginAttempts> out;
    for (const QString& id : FOrder) out.append(FRecords.value(id));
    return out;
}

TFailedLoginAttempts& TAdmissionGate::RecordOf(const QString& id) {
    auto found = FRecords.find(id);
    if (found != FRecords.end()) return *found;
    if (FRecords.size() >= MaxRecords) {
        qCDebug(lcSession) << "failed-login records full: the oldest, of" << FOrder.front() << "is dropped";
        FRecords.remove(FOrder.front());
        FOrder.pop_front();
    }
    FOrder.push_back(id);
    return *FRecords.insert(id, TFailedLoginAttempts{id});
}

bool TAdmissionGate::CountHostWide(qint64 now) {
    FRecentFailures.push_back(now);
    while (FRecentFailures.size() > std::size_t(HostWideFailures)) FRecentFailures.pop_front();
    const bool tooMany = FRecentFailures.size() == std::size_t(HostWideFailures) &&
                         now - FRecentFailures.front() <= qint64(HostWideWindowSeconds) * 1000;
    if (!tooMany) return false;
    FHostWideUntil = now + qint64(FHostWideWaitSeconds) * 1000;
    qCWarning(lcSession) << HostWideFailures << "wrong passwords within" << HostWideWindowSeconds
                         << "s: every password check waits" << FHostWideWaitSeconds << "s";
    FHostWideWaitSeconds = std::min(FHostWideWaitSeconds * 2, HostWideMaxWaitSeconds);
    FRecentFailures.clear();
    return true;
}

std::optional<QString> TAdmissionGate::Check(const QString& from, const QString& password,
                                             const AdmissionRules& rules) {
    if (rules.WhiteListEnabled && !IsWhiteListed(rules.WhiteList, from))
        return QString::fromLatin1(admission::NotWhitelisted);

    const qint64 now = FNow();
    auto wholeSecondsUntil = [now](qint64 moment) { return QString::number((moment - now) / 1000); };

    // The host-wide wait holds everyone back, the right password too.
    if (FHostWideUntil > now)
        return QString::fromLatin1(admission::TooManyAttemptsWait) + wholeSecondsUntil(FHostWideUntil);

    auto found = FRecords.find(from);
    TFailedLoginAttempts* record = found != FRecords.end() ? &*found : nullptr;
    if (record && record->NumberOfFailedAttempts > 5) {
        if (record->NearestAllowedTimeToLogin > now)
            return QString::fromLatin1(admission::TooManyAttemptsWait) +
                   wholeSecondsUntil(record->NearestAllowedTimeToLogin);
        if (password == rules.HostPassword) {
            record->NumberOfFailedAttempts = 0;
            record->SecondsToWaitUntilNextLogin = TFailedLoginAttempts::FirstWaitSeconds;
        }
    }

    if (password == rules.HostPassword) {
        // A quiet host forgets its doubling.
        if (FHostWideUntil != 0 && now - FHostWideUntil > qint64(HostWideWindowSeconds) * 1000) {
            FHostWideUntil = 0;
            FHostWideWaitSeconds = TFailedLoginAttempts::FirstWaitSeconds;
        }
        return std::nullopt;
    }

    qCDebug(lcSession) << "wrong password from" << from;
    if (!record) record = &RecordOf(from);
    ++record->NumberOfFailedAttempts;
    const bool hostWide = CountHostWide(now);
    if (record->NumberOfFailedAttempts <= 5) {
        if (hostWide)
            return QString::fromLatin1(admission::InvalidPasswordTooManyAttemptsWait) +
                   wholeSecondsUntil(FHostWideUntil);
        return QString::fromLatin1(admission::InvalidPassword);
    }

    record->NearestAllowedTimeToLogin = now + qint64(record->SecondsToWaitUntilNextLogin) * 1000;
    record->SecondsToWaitUntilNextLogin =
        std::min(record->SecondsToWaitUntilNextLogin * 2, TFailedLoginAttempts::MaxWaitSeconds);
    return QString::fromLatin1(admission::InvalidPasswordTooManyAttemptsWait) +
           wholeSecondsUntil(std::max(record->NearestAllowedTimeToLogin, FHostWideUntil));
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
