#include "platform/linux/LocalSocketInstanceChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QtEndian>

#include "platform/linux/RuntimeFolder.h"

namespace corvala::platform::linuxos {

namespace {

Q_LOGGING_CATEGORY(lcInstance, "corvala.instance")

constexpr int HeaderSize = 16;
constexpr quint32 MaxPayload = 64 * 1024;  // anything larger is not ours
constexpr int ConnectTimeoutMs = 2000;

// This user's socket that nobody else can use, or nothing to send to.
bool IsPrivateSocket(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return false;  // no running copy
    if (S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0) return true;
    qCWarning(lcInstance).nospace() << "not sending to " << path << ": not a private socket of this user (mode "
                                    << Qt::oct << (st.st_mode & 07777) << Qt::dec << ", owner " << st.st_uid << ")";
    return false;
}

bool PeerIsThisUser(const QLocalSocket& socket) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}

}  // namespace

QString InstanceSocketPath() { return QString::fromStdString((RuntimeFolder() / "corvala-window").string()); }

bool LocalSocketInstanceChannel::SendToRunningWindow(const InstanceMessage& message) {
    const QString path = InstanceSocketPath();
    if (!IsPrivateSocket(path)) return false;
    QLocalSocket socket;
    socket.connectToServer(path);
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
    : QObject(parent), FHandler(std::move(handler)), FServer(new QLocalServer(this)) {
    connect(FServer, &QLocalServer::newConnection, this, &InstanceMessageServer::AcceptPending);
}

bool InstanceMessageServer::Listen(bool ownsInstanceLock) {
    const QString path = InstanceSocketPath();
    if (!ownsInstanceLock) {
        // Listening would replace the socket file (Qt renames a fresh socket
        // over the path), and the running copy would hear nothing more.
        qCInfo(lcInstance) << "the copy holding the single-instance lock keeps" << path;
        return false;
    }
    // Only the lock holder can know that a socket file there is stale.
    QLocalServer::removeServer(path);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (FServer->listen(path)) return true;
    qCWarning(lcInstance) << "cannot listen on" << path << ":" << FServer->errorString();
    return false;
}

void InstanceMessageServer::AcceptPending() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsThisUser(*socket)) {
            qCWarning(lcInstance) << "connection from another user refused";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->bytesAvailable() >= HeaderSize) {
                const QByteArray header = socket->peek(HeaderSize);
                const quint32 length = qFromLittleEndian<quint32>(header.constData() + 12);
                if (length > MaxPayload) {
                    qCWarning(lcInstance) << "message refused: payload of" << length << "bytes";
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
                // Only this user's connections get this far.
                message.senderUid = ::geteuid();
                FHandler(message);
            }
        });
    }
}

}  // namespace corvala::platform::linuxos
