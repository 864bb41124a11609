#include "platform/linux/Logind.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

namespace corvala::platform::linuxos::logind {

QString SessionPath() {
    QDBusInterface manager(Service, ManagerPath, ManagerInterface, QDBusConnection::systemBus());
    if (!manager.isValid()) return {};
    const QByteArray sessionId = qgetenv("XDG_SESSION_ID");
    QDBusReply<QDBusObjectPath> reply = sessionId.isEmpty()
                                            ? manager.call("GetSessionByPID", static_cast<uint>(::getpid()))
                                            : manager.call("GetSession", QString::fromUtf8(sessionId));
    return reply.isValid() ? reply.value().path() : QString();
}

QVariant SessionProperty(const QString& path, const char* name) {
    QDBusInterface properties(Service, path, PropertiesInterface, QDBusConnection::systemBus());
    QDBusReply<QVariant> reply = properties.call("Get", SessionInterface, name);
    return reply.isValid() ? reply.value() : QVariant();
}

}  // namespace corvala::platform::linuxos::logind
