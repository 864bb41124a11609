#pragma once
// The send paths of the data channel. SendMessageToPeer is the gated path:
// it drops the message for an empty or unknown peer ID and while a file
// transfer runs. The direct paths (replies, broadcasts, cursor shapes, chat,
// clipboard) send whatever the transfer state.

#include "control/ControlProtocol.h"
#include "media/RtcClientPort.h"

#include <QByteArray>
#include <QString>

namespace corvala {

class PeerMessenger {
public:
    explicit PeerMessenger(IRtcClientPort& rtc);

    // Gated: input events, "CONTROL", "SPEAK", "DISCONNECT", "RECONNECT".
    void SendMessageToPeer(const QString& peerid, const QString& mess);
    // Gated, one SendMessageToPeer per peer ID ("RECONNECT", "DISCONNECT").
    void SendMessageToEveryPeer(const QString& mess);

    // Direct: the text as UTF-8 to this peer.
    void SendDataToPeer(const TPeer& peer, const QString& text);
    // Direct to every peer ("DEMONSTRATION_ON"/"_OFF", cursor shapes).
    void SendDataToEveryPeer(const QString& text);
    // Raw file records.
    void SendFileDataToPeer(const TPeer& peer, const QByteArray& bytes);

private:
    IRtcClientPort& FRtc;
};

}  // namespace corvala
