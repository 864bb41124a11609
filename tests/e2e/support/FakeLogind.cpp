// A stand-in for logind on a test's own D-Bus bus (the one
// DBUS_SYSTEM_BUS_ADDRESS names): one session, always active, whose Lock and
// Unlock methods announce the change with the session's Lock and Unlock
// signals, as logind does when a session is asked to lock. Every process
// gets that session. The manager's LockSession locks it the same way;
// Reboot and PowerOff only say that they were asked. Prints "ready" once
// the name is owned, and one line for each request.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>

#include <cstdio>

// One entry of the manager's session list: id, user id, user name, seat, object.
struct SessionEntry {
    QString id;
    uint uid = 0;
    QString user;
    QString seat;
    QDBusObjectPath path;
};
Q_DECLARE_METATYPE(SessionEntry)

QDBusArgument& operator<<(QDBusArgument& out, const SessionEntry& e) {
    out.beginStructure();
    out << e.id << e.uid << e.user << e.seat << e.path;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, SessionEntry& e) {
    in.beginStructure();
    in >> e.id >> e.uid >> e.user >> e.seat >> e.path;
    in.endStructure();
    return in;
}

namespace {

constexpr const char* Service = "org.freedesktop.login1";
constexpr const char* ManagerPath = "/org/freedesktop/login1";
constexpr const char* SessionPath = "/org/freedesktop/login1/session/_31";
constexpr const char* SessionInterface = "org.freedesktop.login1.Session";

class Session : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool Active READ active)
    Q_PROPERTY(bool LockedHint READ lockedHint)
    Q_PROPERTY(QString Id READ id)
public:
    explicit Session(bool locked) : locked_(locked) {}
    bool active() const { return true; }
    QString id() const { return "31"; }
    bool lockedHint() const { return locked_; }

public slots:
    void Lock() { SetLocked(true); }
    void Unlock() { SetLocked(false); }

    void SetLocked(bool locked) {
        locked_ = locked;
        // A signal of the same name as the method cannot be a Qt signal too.
        QDBusConnection::systemBus().send(
            QDBusMessage::createSignal(SessionPath, SessionInterface, locked ? "Lock" : "Unlock"));
        std::printf("%s\n", locked ? "locked" : "unlocked");
        std::fflush(stdout);
    }

private:
    bool locked_;
};

void Say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class Manager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    explicit Manager(Session& session) : session_(session) {}

public slots:
    void LockSession(const QString& id) {
        Say("LockSession " + id);
        if (id == session_.id()) session_.SetLocked(true);
    }
    void Reboot(bool interactive) { Say(QString("Reboot interactive=%1").arg(interactive)); }
    void PowerOff(bool interactive) { Say(QString("PowerOff interactive=%1").arg(interactive)); }
    QDBusObjectPath GetSession(const QString&) { return QDBusObjectPath(SessionPath); }
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(SessionPath); }
    QList<SessionEntry> ListSessions() {
        return {SessionEntry{"31", 1000, "user", "seat0", QDBusObjectPath(SessionPath)}};
    }

private:
    Session& session_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<SessionEntry>();
    qDBusRegisterMetaType<QList<SessionEntry>>();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "no bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    Session session(app.arguments().contains("--locked"));
    Manager manager(session);
    const auto exports = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties;
    if (!bus.registerObject(ManagerPath, &manager, exports) || !bus.registerObject(SessionPath, &session, exports) ||
        !bus.registerService(Service)) {
        std::fprintf(stderr, "cannot serve %s: %s\n", Service, qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "FakeLogind.moc"
