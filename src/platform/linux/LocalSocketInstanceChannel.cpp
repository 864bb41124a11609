#include "platform/linux/LocalSocketInstanceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

#include "platform/linux/RuntimeFolder.h"

namespace corvala::platform::linuxos {

namespace {
constexpr int MessageSize = 12;
constexpr int ConnectTimeoutMs = 2000;
}  // namespace

QString InstanceSocketPath() {
    return QString::fromStdString((RuntimeFolder() / "corvala-window").string());
}

bool LocalSocketInstanceChannel::SendToRunningWindow(const InstanceMessage& message) {
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketPath());
    if (!socket.waitForConnected(ConnectTimeoutMs)) return false;
    char bytes[MessageSize];
    qToLittleEndian(message.message, bytes);
    qToLittleEndian(message.wParam, bytes + 4);
    qToLittleEndian(message.lParam, bytes + 8);
    socket.write(bytes, MessageSize);
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->bytesAvailable() >= MessageSize) {
                QByteArray bytes = socket->read(MessageSize);
                InstanceMessage message;
                message.message = qFromLittleEndian<quint32>(bytes.constData());
                message.wParam = qFromLittleEndian<quint32>(bytes.constData() + 4);
                message.lParam = qFromLittleEndian<quint32>(bytes.constData() + 8);
                handler_(message);
            }
        });
    }
}

}  // namespace corvala::platform::linuxos
