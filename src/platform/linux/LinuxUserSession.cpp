#include "platform/linux/LinuxUserSession.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

#include "base/Log.h"
#include "platform/linux/Logind.h"
#include "platform/linux/SessionUser.h"

namespace corvala::platform::linuxos {

namespace {

constexpr const char* SeatPath = "/org/freedesktop/login1/seat/seat0";
constexpr const char* SeatInterface = "org.freedesktop.login1.Seat";

// A (so) structure of logind: a name or id and an object path.
QString StructPath(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) return {};
    const QDBusArgument argument = value.value<QDBusArgument>();
    QString name;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> name >> path;
    argument.endStructure();
    return path.path();
}

QVariant Property(const QString& path, const char* interface, const char* name) {
    QDBusInterface properties(logind::Service, path, logind::PropertiesInterface, QDBusConnection::systemBus());
    if (!properties.isValid()) return {};
    QDBusReply<QVariant> reply = properties.call("Get", QString::fromLatin1(interface), QString::fromLatin1(name));
    return reply.isValid() ? reply.value() : QVariant();
}

}  // namespace

std::optional<uid_t> LinuxUserSession::ConsoleUser() const {
    if (QDBusConnection::systemBus().isConnected()) {
        const QString session = StructPath(Property(SeatPath, SeatInterface, "ActiveSession"));
        if (session.isEmpty() || session == "/") return std::nullopt;  // nobody at the console
        const QVariant user = Property(session, logind::SessionInterface, "User");
        if (user.canConvert<QDBusArgument>()) {
            const QDBusArgument argument = user.value<QDBusArgument>();
            uint uid = 0;
            QDBusObjectPath path;
            argument.beginStructure();
            argument >> uid >> path;
            argument.endStructure();
            return static_cast<uid_t>(uid);
        }
        return std::nullopt;
    }
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) return ::geteuid();
    return std::nullopt;
}

bool LinuxUserSession::RunInUserSession(const std::string& target) {
    const std::optional<uid_t> user = ConsoleUser();
    if (!user) {
        qCInfo(lcPlatform) << "nothing opened for the console user: no active console session";
        return false;
    }
    std::optional<std::vector<std::string>> environment;
    if (*user == ::geteuid()) {
        environment = OwnEnvironment();
    } else if (::geteuid() == 0) {
        environment = GraphicalEnvironmentOf(*user);
    } else {
        qCWarning(lcPlatform) << "nothing opened: the console belongs to user" << *user << "not to this one";
        return false;
    }
    if (!environment) {
        qCInfo(lcPlatform) << "nothing opened: user" << *user << "runs no graphical session";
        return false;
    }
    const bool started = SpawnAsUser(*user, {"xdg-open", target}, *environment);
    if (!started) qCWarning(lcPlatform) << "xdg-open did not start for user" << *user;
    return started;
}

}  // namespace corvala::platform::linuxos
