#pragma once
// The send paths of the data channel. SendMessageToPeer is the gated path:
// it drops the message silently for an empty or unknown peer ID and while a
// file transfer runs. The direct paths (replies, broadcasts, cursor shapes,
// chat, clipboard) send whatever the transfer state.

#include "control/ControlProtocol.h"
#include "media/WebrtcClientVcl.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace corvala {

class PeerMessenger {
public:
    // How one message leaves for one peer; by default the peer's own data
    // channel (TPeer::SendFileDataToPeer with the bytes). Tests record here.
    using Transport = std::function<void(const TPeer& peer, const QByteArray& bytes)>;

    PeerMessenger(TWebRtcClientVcl& client, std::function<TTransferMode()> transferMode, Transport transport = {});

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
    TWebRtcClientVcl& client_;
    std::function<TTransferMode()> transferMode_;
    Transport transport_;
};

}  // namespace corvala
