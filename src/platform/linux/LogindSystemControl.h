#pragma once
#include <QObject>

#include "platform/SystemControl.h"

namespace corvala::platform::linuxos {

// logind over the system D-Bus: LockSession for this program's session,
// Reboot and PowerOff without asking anyone (a viewer's request is not
// interactive). Without a system bus or logind every request is refused.
class LogindSystemControl : public QObject, public ISystemControl {
    Q_OBJECT
public:
    void Request(SessionAction action, std::function<void(bool accepted)> done) override;
};

}  // namespace corvala::platform::linuxos
