#include "control/PeerMessenger.h"

#include "base/Log.h"

namespace corvala {

PeerMessenger::PeerMessenger(IRtcClientPort& rtc) : FRtc(rtc) {}

void PeerMessenger::SendMessageToPeer(const QString& peerid, const QString& mess) {
    if (peerid.isEmpty()) return;
    if (processState().TransferMode != TTransferMode::Idle) {
        qCDebug(lcControl) << "not sent while a transfer runs:" << mess.left(16) << "to" << peerid;
        return;
    }
    if (auto peer = FRtc.FindPeer(peerid)) FRtc.SendData(*peer, mess.toUtf8());
}

void PeerMessenger::SendMessageToEveryPeer(const QString& mess) {
    for (const QString& id : FRtc.PeerIds()) SendMessageToPeer(id, mess);
}

void PeerMessenger::SendDataToPeer(const TPeer& peer, const QString& text) { FRtc.SendData(peer, text.toUtf8()); }

void PeerMessenger::SendDataToEveryPeer(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    for (const auto& peer : FRtc.Peers()) FRtc.SendData(*peer, bytes);
}

void PeerMessenger::SendFileDataToPeer(const TPeer& peer, const QByteArray& bytes) { FRtc.SendData(peer, bytes); }

}  // namespace corvala
