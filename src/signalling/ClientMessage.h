#pragma once
// Dispatch of one line received from the signalling server. Only four kinds
// concern the client: "invalid_id", "joined", "publicturn" and "message";
// every other kind, and every line that is not a JSON object, is ignored.
// What each kind leads to is supplied by the main window as hooks, so this
// class stays free of windows and of the session logic.

#include "signalling/WirePayloads.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

namespace corvala {

// The warning shown (translated, as a modal warning box) for "invalid_id".
inline constexpr char InvalidIdWarning[] = "Device with this ID is not connected or you entered a wrong ID.";

// Ignores every peer message. Stands in for HandlePeerMessage until the
// outgoing request and the admission of incoming connections exist.
void HandlePeerMessageStub(const QJsonObject& message);

struct ClientMessageHooks {
    // "invalid_id": show `englishText` through the translation as a modal warning.
    std::function<void(const QString& englishText)> ShowWarning;
    // "joined": the link is established (SignallingConnection::SetJoined, and
    // the relay timer TurnChecker with its Tag set to 0 if it is not running).
    std::function<void()> Joined;
    // "publicturn" with a payload object: add the relay to the ICE servers.
    // `remember` is always true here: the relay was also stored as PublicRelay.
    std::function<void(const IceServer& relay, bool remember)> ApplyIceServerFromPayload;
    // "publicturn", always after the above (also when the payload did not
    // parse): send "init", to the ID in the connection dialog when
    // `newConnection`, else to FCurrentViewingPeerID.
    std::function<void(bool newConnection)> SendInitAfterPublicTurn;
    // "message": one peer message, the whole parsed envelope.
    std::function<void(const QJsonObject& message)> HandlePeerMessage = HandlePeerMessageStub;
};

class ClientMessage {
public:
    explicit ClientMessage(ClientMessageHooks hooks);

    // Handles one received line (without or with its line end).
    void operator()(QByteArrayView line);

    // The last relay the server handed out, if any.
    const std::optional<IceServer>& PublicRelay() const { return publicRelay_; }

private:
    ClientMessageHooks hooks_;
    std::optional<IceServer> publicRelay_;
};

}  // namespace corvala
