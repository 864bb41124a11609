#include "signalling/ClientMessage.h"

#include "signalling/SignallingMessage.h"

namespace corvala {

void HandlePeerMessageStub(const QJsonObject&) {}

ClientMessage::ClientMessage(ClientMessageHooks hooks) : hooks_(std::move(hooks)) {}

void ClientMessage::operator()(QByteArrayView line) {
    const std::optional<QJsonObject> object = ParseSignallingLine(line);
    if (!object) return;
    const Envelope envelope = Envelope::FromObject(*object);
    const QString& msg = envelope.msg;
    if (msg == QStringView(wire::InvalidId)) {
        if (hooks_.ShowWarning) hooks_.ShowWarning(QString::fromLatin1(InvalidIdWarning));
    } else if (msg == QStringView(wire::Joined)) {
        if (hooks_.Joined) hooks_.Joined();
    } else if (msg == QStringView(wire::PublicTurn)) {
        if (const std::optional<QJsonObject> relay = ParsePayloadObject(envelope.payload)) {
            publicRelay_ = IceServer::FromObject(*relay);
            if (hooks_.ApplyIceServerFromPayload) hooks_.ApplyIceServerFromPayload(*publicRelay_, true);
        }
        if (hooks_.SendInitAfterPublicTurn)
            hooks_.SendInitAfterPublicTurn(envelope.type == QStringView(wire::NewConnection));
    } else if (msg == QStringView(wire::Message)) {
        if (hooks_.HandlePeerMessage) hooks_.HandlePeerMessage(*object);
    }
}

}  // namespace corvala
