#include "platform/linux/LogindSessionMonitor.h"

#include "platform/linux/Logind.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

namespace corvala::platform::linuxos {

using namespace logind;

bool LogindSessionMonitor::Start(std::function<void(SessionChange)> handler) {
    FHandler = std::move(handler);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return false;
    const QString path = SessionPath();
    if (path.isEmpty()) return false;
    FLocked = SessionProperty(path, "LockedHint").toBool();
    bool ok = bus.connect(Service, path, SessionInterface, "Lock", this, SLOT(OnLock()));
    ok = bus.connect(Service, path, SessionInterface, "Unlock", this, SLOT(OnUnlock())) && ok;
    bus.connect(Service, path, PropertiesInterface, "PropertiesChanged", this,
                SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList)));
    return ok;
}

bool LogindSessionMonitor::AnySessionActive() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return true;
    QDBusInterface manager(Service, ManagerPath, ManagerInterface, bus);
    if (!manager.isValid()) return true;
    QDBusMessage reply = manager.call("ListSessions");
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return true;
    // a(susso): id, uid, user, seat, object path
    const QDBusArgument sessions = reply.arguments().first().value<QDBusArgument>();
    bool any = false;
    sessions.beginArray();
    while (!sessions.atEnd()) {
        QString id, user, seat;
        uint uid = 0;
        QDBusObjectPath path;
        sessions.beginStructure();
        sessions >> id >> uid >> user >> seat >> path;
        sessions.endStructure();
        if (SessionProperty(path.path(), "Active").toBool() && !SessionProperty(path.path(), "LockedHint").toBool())
            any = true;
    }
    sessions.endArray();
    return any;
}

void LogindSessionMonitor::OnLock() { Deliver(true); }
void LogindSessionMonitor::OnUnlock() { Deliver(false); }

void LogindSessionMonitor::OnPropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                               const QStringList&) {
    if (interfaceName == SessionInterface && changed.contains("LockedHint"))
        Deliver(changed.value("LockedHint").toBool());
}

void LogindSessionMonitor::Deliver(bool locked) {
    // Lock and LockedHint both announce one change; report it once.
    if (locked == FLocked || !FHandler) return;
    FLocked = locked;
    FHandler(locked ? SessionChange::Locked : SessionChange::Unlocked);
}

}  // namespace corvala::platform::linuxos
