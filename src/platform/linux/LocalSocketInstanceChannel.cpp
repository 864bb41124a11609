#include "platform/linux/LocalSocketInstanceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>
#include <sys/socket.h>

#include "platform/linux/RuntimeFolder.h"

namespace corvala::platform::linuxos {

namespace {
constexpr int HeaderSize = 16;
constexpr quint32 MaxPayload = 64 * 1024;  // anything larger is not ours
constexpr int ConnectTimeoutMs = 2000;

// The socket is open to every local user (a helper of the system may start
// the program); the receiver decides per message whose word it takes.
std::optional<std::uint32_t> PeerUid(QLocalSocket* socket) {
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}
}  // namespace

QString InstanceSocketPath() {
    return QString::fromStdString((RuntimeFolder() / "corvala-window").string());
}

bool LocalSocketInstanceChannel::SendToRunningWindow(const InstanceMessage& message) {
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketPath());
    if (!socket.waitForConnected(ConnectTimeoutMs)) return false;
    char header[HeaderSize];
    qToLittleEndian(message.message, header);
    qToLittleEndian(message.wParam, header + 4);
    qToLittleEndian(message.lParam, header + 8);
    qToLittleEndian(static_cast<quint32>(message.payload.size()), header + 12);
    socket.write(header, HeaderSize);
    socket.write(message.payload.data(), static_cast<qint64>(message.payload.size()));
    bool written = socket.waitForBytesWritten(ConnectTimeoutMs);
    socket.disconnectFromServer();
    return written;
}

InstanceMessageServer::InstanceMessageServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), server_(new QLocalServer(this)) {
    connect(server_, &QLocalServer::newConnection, this, &InstanceMessageServer::AcceptPending);
}

bool InstanceMessageServer::Listen() {
    const QString path = InstanceSocketPath();
    QLocalServer::removeServer(path);  // a socket file left by a crashed copy
    server_->setSocketOptions(QLocalServer::WorldAccessOption);
    return server_->listen(path);
}

void InstanceMessageServer::AcceptPending() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // Taken while the connection is surely open.
        const std::optional<std::uint32_t> uid = PeerUid(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, uid] {
            while (socket->bytesAvailable() >= HeaderSize) {
                const QByteArray header = socket->peek(HeaderSize);
                const quint32 length = qFromLittleEndian<quint32>(header.constData() + 12);
                if (length > MaxPayload) {
                    socket->abort();
                    return;
                }
                if (socket->bytesAvailable() < HeaderSize + static_cast<qint64>(length)) return;
                socket->read(HeaderSize);
                InstanceMessage message;
                message.message = qFromLittleEndian<quint32>(header.constData());
                message.wParam = qFromLittleEndian<quint32>(header.constData() + 4);
                message.lParam = qFromLittleEndian<quint32>(header.constData() + 8);
                message.payload = socket->read(length).toStdString();
                message.senderUid = uid;
                handler_(message);
            }
        });
    }
}

}  // namespace corvala::platform::linuxos
