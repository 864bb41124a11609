#pragma once
#include <QObject>
#include <QString>
#include <functional>

#include "platform/InstanceChannel.h"

class QLocalServer;

namespace corvala::platform::linuxos {

// The running instance's main window listens on a local socket in the
// runtime folder; a message is four little-endian 32-bit numbers (message,
// wParam, lParam, payload length) followed by the payload.
QString InstanceSocketPath();

class LocalSocketInstanceChannel : public IInstanceChannel {
public:
    bool SendToRunningWindow(const InstanceMessage& message) override;
};

// The receiving end, owned by the main window.
class InstanceMessageServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const InstanceMessage&)>;
    InstanceMessageServer(Handler handler, QObject* parent = nullptr);
    bool Listen();

private:
    void AcceptPending();
    Handler handler_;
    QLocalServer* server_;
};

}  // namespace corvala::platform::linuxos
