#pragma once
// TimerDataTimeout's peer liveness check, every 1000 ms on the main thread.
// A host ends the sessions of peers that said "DISCONNECT"; a viewer whose
// picture has stalled for more than 8 whole seconds reconnects by itself
// when the host announced "RECONNECT", and otherwise shows the peer as lost.

#include "control/ControlProtocol.h"
#include "media/WebrtcClientVcl.h"

#include <functional>

namespace corvala {

struct LivenessHooks {
    std::function<TTransferMode()> TransferMode;
    // The transfer module's time-out branch, run instead while a transfer runs.
    std::function<void()> TransferTimeoutTick;
    // Host: end one peer's session (TWebRtcClientVcl::EndCall).
    std::function<void(const QString& id)> EndCall;
    // Host, after at least one session ended: refresh the caption and the
    // chat recipients; with `noPeerLeft` also close the chat window, clear
    // Collapsed and re-lay-out, hide the main window if ShownForSession (and
    // clear it), and deactivate the peer-connection component.
    std::function<void(bool noPeerLeft)> SessionsEnded;
    // Viewer: LastFrameTime as the frame drawing keeps it (date-time, 0 until a first frame).
    std::function<double()> LastFrameTime;
    std::function<void(double)> SetLastFrameTime;
    std::function<bool()> ReconnectButtonVisible;
    // Caption the reconnect button with the translated "Reconnect" and run
    // its action as the timer does (panReconnectButtonClick without sender).
    std::function<void()> Reconnect;
    std::function<void()> UpdateAliveButton;
    std::function<double()> Now;  // NowDateTime by default
};

class LivenessCheck {
public:
    static constexpr long long StallSeconds = 8;

    LivenessCheck(TWebRtcClientVcl& client, LivenessHooks hooks);

    // TimerDataTimeoutTimer's body: skipped while EventsSuspended is set or
    // while a previous tick still runs.
    void Tick();

private:
    void HostTick();
    void ViewerTick();

    TWebRtcClientVcl& client_;
    LivenessHooks hooks_;
    bool running_ = false;  // the timer's tag
};

}  // namespace corvala
