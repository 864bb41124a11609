#include "platform/linux/LogindSystemControl.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "base/Log.h"
#include "platform/linux/Logind.h"

namespace corvala::platform::linuxos {

namespace {
// The session's own ID, as LockSession wants it.
QString SessionId() {
    const QByteArray fromEnvironment = qgetenv("XDG_SESSION_ID");
    if (!fromEnvironment.isEmpty()) return QString::fromUtf8(fromEnvironment);
    const QString path = logind::SessionPath();
    return path.isEmpty() ? QString() : logind::SessionProperty(path, "Id").toString();
}
}  // namespace

void LogindSystemControl::Request(SessionAction action, std::function<void(bool accepted)> done) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qCWarning(lcPlatform) << "no system bus: the session manager cannot be asked";
        done(false);
        return;
    }
    QDBusMessage call;
    if (action == SessionAction::Lock) {
        const QString session = SessionId();
        if (session.isEmpty()) {
            qCWarning(lcPlatform) << "logind knows no session of this program: it cannot be locked";
            done(false);
            return;
        }
        call = QDBusMessage::createMethodCall(logind::Service, logind::ManagerPath, logind::ManagerInterface,
                                              "LockSession");
        call << session;
    } else {
        call = QDBusMessage::createMethodCall(logind::Service, logind::ManagerPath, logind::ManagerInterface,
                                              action == SessionAction::Reboot ? "Reboot" : "PowerOff");
        call << false;  // not interactive: nobody at this computer is asked
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done), name = call.member()](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<> reply = *finished;
                if (reply.isError())
                    qCWarning(lcPlatform).noquote()
                        << "logind refused" << name << "-" << reply.error().name() << reply.error().message();
                done(!reply.isError());
            });
}

}  // namespace corvala::platform::linuxos
