#include "core/AliveButtonState.h"

namespace corvala {

AliveButtonView UpdateAliveButton(const AliveButtonInput& in) {
    AliveButtonView v;
    if (in.anyPeers && !in.currentPeerExists) return v;  // nothing of ours to report on
    v.changes = true;
    v.repaint = true;
    if (!in.anyPeers) {
        v.showRemoteArea = true;
        v.fillPicture = true;
        v.centreControls = true;
        v.labelText = QString::fromLatin1(alive_texts::NoConnections);
        v.buttonCaption = QString::fromLatin1(alive_texts::Connect);
        v.labelVisible = true;
        v.buttonVisible = true;
    } else if (in.needToReconnect) {
        v.fillPicture = true;
        v.centreControls = true;
        v.labelText = QString::fromLatin1(alive_texts::PleaseWait);
        v.labelVisible = true;
        v.buttonVisible = false;
    } else if (in.alive) {
        v.labelVisible = false;
        v.buttonVisible = false;
    } else {
        v.fillPicture = true;
        v.centreControls = true;
        v.labelText = QString::fromLatin1(alive_texts::NoSignal);
        v.buttonCaption = QString::fromLatin1(alive_texts::Reconnect);
        v.labelVisible = true;
        v.buttonVisible = true;
    }
    return v;
}

ReconnectAction panReconnectButtonClick(const ReconnectInput& in) {
    if (in.buttonCaption == in.translatedConnectCaption) return ReconnectAction::RunConnectButton;
    if (!in.connectedToSignalServer) return ReconnectAction::ShowServerUnavailable;
    if (in.calledWithoutSender || in.relayRunning)
        return in.currentPeerExists ? ReconnectAction::SendInitToCurrentPeer : ReconnectAction::Nothing;
    return ReconnectAction::SendGetPublicTurn;
}

}  // namespace corvala
