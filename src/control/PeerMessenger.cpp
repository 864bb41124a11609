#include "control/PeerMessenger.h"

namespace corvala {

PeerMessenger::PeerMessenger(TWebRtcClientVcl& client, std::function<TTransferMode()> transferMode,
                             Transport transport)
    : client_(client), transferMode_(std::move(transferMode)), transport_(std::move(transport)) {
    if (!transport_)
        transport_ = [](const TPeer& peer, const QByteArray& bytes) { peer.SendFileDataToPeer(bytes); };
}

void PeerMessenger::SendMessageToPeer(const QString& peerid, const QString& mess) {
    if (peerid.isEmpty()) return;
    if (transferMode_ && transferMode_() != TTransferMode::Idle) return;
    if (auto peer = client_.Peers.Find(peerid)) transport_(*peer, mess.toUtf8());
}

void PeerMessenger::SendMessageToEveryPeer(const QString& mess) {
    for (const QString& id : client_.Peers.Keys()) SendMessageToPeer(id, mess);
}

void PeerMessenger::SendDataToPeer(const TPeer& peer, const QString& text) {
    transport_(peer, text.toUtf8());
}

void PeerMessenger::SendDataToEveryPeer(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    for (const auto& peer : client_.Peers.Values()) transport_(*peer, bytes);
}

void PeerMessenger::SendFileDataToPeer(const TPeer& peer, const QByteArray& bytes) {
    transport_(peer, bytes);
}

}  // namespace corvala
