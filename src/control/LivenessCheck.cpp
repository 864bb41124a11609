#include "control/LivenessCheck.h"

#include "base/Log.h"
#include "base/ProcessState.h"
#include "control/DateTime.h"

#include <QStringList>

namespace corvala {

LivenessCheck::LivenessCheck(IRtcClientPort& rtc, PeerMessenger& messenger, ILivenessEvents& events,
                             std::function<double()> now)
    : FRtc(rtc), FMessenger(messenger), FEvents(events), FNow(std::move(now)) {}

double LivenessCheck::Now() const { return FNow ? FNow() : NowDateTime(); }

void LivenessCheck::FrameDrawn() { FLastFrameTime = Now(); }

void LivenessCheck::Tick() {
    if (processState().EventsSuspended || FRunning) return;
    FRunning = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{FRunning};
    // A timer tick never takes the program down.
    try {
        if (processState().TransferMode != TTransferMode::Idle) {
            FEvents.TransferTimeoutTick();
            return;
        }
        if (processState().MasterMode)
            ViewerTick();
        else
            HostTick();
    } catch (const std::exception& error) {
        qCWarning(lcControl) << "liveness check failed:" << error.what();
    }
}

void LivenessCheck::HostTick() {
    QStringList lost;
    for (const auto& peer : FRtc.Peers())
        if (!peer->Alive) lost.append(peer->FId);
    if (lost.isEmpty()) return;
    for (qsizetype i = lost.size() - 1; i >= 0; --i) {
        qCInfo(lcControl) << "session of" << lost[i] << "ends: the viewer left";
        // The other side hears it at once, not when its connection checks
        // fail seconds later.
        FMessenger.SendMessageToPeer(lost[i], QString::fromLatin1(commands::Disconnect));
        FRtc.EndCall(lost[i]);
    }
    FEvents.SessionsEnded(FRtc.PeerCount() == 0);
}

void LivenessCheck::ViewerTick() {
    const auto peer = FRtc.FindPeer(FRtc.CurrentViewingPeerID());
    if (!peer || FLastFrameTime == 0) return;
    const double now = Now();
    const bool buttonVisible = FEvents.ReconnectButtonVisible();
    if (WholeSecondsBetween(now, FLastFrameTime) > StallSeconds) {
        if (peer->NeedToReconnect) {
            FLastFrameTime = now;
            peer->NeedToReconnect = false;
            FEvents.Reconnect();
        } else {
            peer->Alive = false;
            if (!buttonVisible) FEvents.UpdateAliveButton();
        }
    } else if (buttonVisible && peer->Alive) {
        FEvents.UpdateAliveButton();
    }
}

}  // namespace corvala
