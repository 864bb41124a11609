#pragma once
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "platform/SessionMonitor.h"

namespace corvala::platform::linuxos {

// logind over the system D-Bus: the session's Lock and Unlock signals and
// its LockedHint property; sessions' Active property. Without a system bus
// or logind (containers, CI) it reports nothing and counts as active.
class LogindSessionMonitor : public QObject, public ISessionMonitor {
    Q_OBJECT
public:
    bool Start(std::function<void(SessionChange)> handler) override;
    bool AnySessionActive() override;

private slots:
    void OnLock();
    void OnUnlock();
    void OnPropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList& invalidated);

private:
    void Deliver(bool locked);

    std::function<void(SessionChange)> FHandler;
    bool FLocked = false;
};

}  // namespace corvala::platform::linuxos
