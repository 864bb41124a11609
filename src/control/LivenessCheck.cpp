#include "control/LivenessCheck.h"

#include "app/ProcessState.h"
#include "control/DateTime.h"

#include <QStringList>

namespace corvala {

LivenessCheck::LivenessCheck(TWebRtcClientVcl& client, LivenessHooks hooks)
    : client_(client), hooks_(std::move(hooks)) {}

void LivenessCheck::Tick() {
    if (processState().EventsSuspended || running_) return;
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};
    try {
        if (hooks_.TransferMode && hooks_.TransferMode() != TTransferMode::Idle) {
            if (hooks_.TransferTimeoutTick) hooks_.TransferTimeoutTick();
            return;
        }
        if (processState().MasterMode)
            ViewerTick();
        else
            HostTick();
    } catch (...) {
        // A timer tick never takes the program down.
    }
}

void LivenessCheck::HostTick() {
    if (client_.Peers.Count() == 0) return;
    QStringList lost;
    for (const auto& peer : client_.Peers.Values())
        if (!peer->Alive) lost.append(peer->FId);
    if (lost.isEmpty()) return;
    for (qsizetype i = lost.size() - 1; i >= 0; --i)
        if (hooks_.EndCall) hooks_.EndCall(lost[i]);
    if (hooks_.SessionsEnded) hooks_.SessionsEnded(client_.Peers.Count() == 0);
}

void LivenessCheck::ViewerTick() {
    const auto peer = client_.Peers.Find(client_.CurrentViewingPeerID());
    if (!peer || !hooks_.LastFrameTime) return;
    const double lastFrame = hooks_.LastFrameTime();
    if (lastFrame == 0) return;
    const double now = hooks_.Now ? hooks_.Now() : NowDateTime();
    const bool buttonVisible = hooks_.ReconnectButtonVisible && hooks_.ReconnectButtonVisible();
    if (WholeSecondsBetween(now, lastFrame) > StallSeconds) {
        if (peer->NeedToReconnect) {
            if (hooks_.SetLastFrameTime) hooks_.SetLastFrameTime(now);
            peer->NeedToReconnect = false;
            if (hooks_.Reconnect) hooks_.Reconnect();
        } else {
            peer->Alive = false;
            if (!buttonVisible && hooks_.UpdateAliveButton) hooks_.UpdateAliveButton();
        }
    } else if (buttonVisible && peer->Alive && hooks_.UpdateAliveButton) {
        hooks_.UpdateAliveButton();
    }
}

}  // namespace corvala
