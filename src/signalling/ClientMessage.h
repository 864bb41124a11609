#pragma once
// Dispatch of one line received from the signalling server. Only four kinds
// concern the client: "invalid_id", "joined", "publicturn" and "message";
// every other kind, and every line that is not a JSON object, is ignored.
// What each kind leads to goes to IClientMessageEvents, so this class stays
// free of windows and of the session logic.

#include "signalling/WirePayloads.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace corvala {

// The warning shown (translated, as a modal warning box) for "invalid_id".
inline constexpr char InvalidIdWarning[] = "Device with this ID is not connected or you entered a wrong ID.";

// What each kind of line leads to; the core implements it.
class IClientMessageEvents {
public:
    // "invalid_id": the ID a message went to is not connected.
    virtual void SignallingInvalidId() = 0;
    // "joined": the link is established (SignallingConnection::SetJoined, and
    // the relay timer TurnChecker with its Tag set to 0 if it is not running).
    virtual void SignallingJoined() = 0;
    // "publicturn" with a payload object: add the relay to the ICE servers.
    // `remember` is always true here: the relay was also stored as PublicRelay.
    virtual void ApplyIceServerFromPayload(const IceServer& relay, bool remember) = 0;
    // "publicturn", always after the above (also when the payload did not
    // parse): send "init", to the ID in the connection dialog when
    // `newConnection`, else to FCurrentViewingPeerID.
    virtual void SendInitAfterPublicTurn(bool newConnection) = 0;
    // "message": one peer message, the whole parsed envelope.
    virtual void HandlePeerMessage(const QJsonObject& message) = 0;

protected:
    ~IClientMessageEvents() = default;
};

class ClientMessage {
public:
    explicit ClientMessage(IClientMessageEvents& events);

    // Handles one received line (without or with its line end).
    void operator()(QByteArrayView line);

    // The last relay the server handed out, if any.
    const std::optional<IceServer>& PublicRelay() const { return publicRelay_; }

private:
    IClientMessageEvents& FEvents;
    std::optional<IceServer> publicRelay_;
};

}  // namespace corvala
