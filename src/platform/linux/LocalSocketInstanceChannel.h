#pragma once
#include <QObject>
#include <QString>
#include <functional>

#include "platform/InstanceChannel.h"

class QLocalServer;

namespace corvala::platform::linuxos {

// The running instance's main window listens on a local socket in the
// runtime folder; a message is four little-endian 32-bit numbers (message,
// wParam, lParam, payload length) followed by the payload. A connect request
// carries a password, so the socket is private to the user on both ends:
// created owner-only, used by a sender only when it is this user's socket
// and nobody else's, and a connection from another user is dropped.
QString InstanceSocketPath();

class LocalSocketInstanceChannel : public IInstanceChannel {
public:
    // False also when the socket is not this user's private socket.
    bool SendToRunningWindow(const InstanceMessage& message) override;
};

// The receiving end, owned by the main window.
class InstanceMessageServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const InstanceMessage&)>;
    InstanceMessageServer(Handler handler, QObject* parent = nullptr);

    // The socket belongs to the copy that holds the single-instance lock
    // (`ownsInstanceLock`): that copy replaces a file a crashed copy left
    // and listens. Another copy never removes or replaces it, so messages
    // keep reaching the owner. True when listening.
    bool Listen(bool ownsInstanceLock);

private:
    void AcceptPending();
    Handler FHandler;
    QLocalServer* FServer;
};

}  // namespace corvala::platform::linuxos
