#include "signalling/ClientMessage.h"

#include "base/Log.h"
#include "signalling/SignallingMessage.h"

namespace corvala {

ClientMessage::ClientMessage(IClientMessageEvents& events) : FEvents(events) {}

void ClientMessage::operator()(QByteArrayView line) {
    const std::optional<QJsonObject> object = ParseSignallingLine(line);
    if (!object) {
        qCWarning(lcSignalling) << "line from the server dropped: not a JSON object:" << line.first(std::min<qsizetype>(line.size(), 80)).toByteArray();
        return;
    }
    const Envelope envelope = Envelope::FromObject(*object);
    const QString& msg = envelope.msg;
    if (msg == QStringView(wire::InvalidId)) {
        FEvents.SignallingInvalidId();
    } else if (msg == QStringView(wire::Joined)) {
        FEvents.SignallingJoined();
    } else if (msg == QStringView(wire::PublicTurn)) {
        if (const std::optional<QJsonObject> relay = ParsePayloadObject(envelope.payload)) {
            publicRelay_ = IceServer::FromObject(*relay);
            FEvents.ApplyIceServerFromPayload(*publicRelay_, true);
        }
        FEvents.SendInitAfterPublicTurn(envelope.type == QStringView(wire::NewConnection));
    } else if (msg == QStringView(wire::Message)) {
        FEvents.HandlePeerMessage(*object);
    } else {
        qCDebug(lcSignalling) << "server line of kind" << msg << "ignored";
    }
}

}  // namespace corvala
