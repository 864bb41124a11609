#pragma once
// TimerDataTimeout's peer liveness check, every 1000 ms on the main thread.
// A host ends the sessions of peers that said "DISCONNECT"; a viewer whose
// picture has stalled for more than 8 whole seconds reconnects by itself
// when the host announced "RECONNECT", and otherwise shows the peer as lost.
// The check also keeps the time of the last drawn frame.

#include "control/ControlProtocol.h"
#include "control/PeerMessenger.h"
#include "media/RtcClientPort.h"

#include <functional>

namespace corvala {

// What the check asks of the rest of the program; the core implements it.
class ILivenessEvents {
public:
    // The transfer module's time-out branch, run instead while a transfer runs.
    virtual void TransferTimeoutTick() = 0;
    // Host, after at least one session ended here: refresh the caption and
    // the chat recipients; with `noPeerLeft` also close the chat window,
    // expand the window, hide it if it was shown for the session, and
    // deactivate the component.
    virtual void SessionsEnded(bool noPeerLeft) = 0;
    // Viewer: the remote area's reconnect button is showing.
    virtual bool ReconnectButtonVisible() const = 0;
    // Caption the reconnect button "Reconnect" and run its action as the
    // timer does (without a sender).
    virtual void Reconnect() = 0;
    virtual void UpdateAliveButton() = 0;

protected:
    ~ILivenessEvents() = default;
};

class LivenessCheck {
public:
    static constexpr long long StallSeconds = 8;

    // `now`: the date-time clock (NowDateTime by default).
    LivenessCheck(IRtcClientPort& rtc, PeerMessenger& messenger, ILivenessEvents& events,
                  std::function<double()> now = {});

    // TimerDataTimeoutTimer's body: skipped while EventsSuspended is set or
    // while a previous tick still runs.
    void Tick();

    // LastFrameTime := now: a frame of the viewed peer was drawn, or a new
    // tab or session gives its picture the full time.
    void FrameDrawn();
    double LastFrameTime() const { return FLastFrameTime; }

private:
    void HostTick();
    void ViewerTick();
    double Now() const;

    IRtcClientPort& FRtc;
    PeerMessenger& FMessenger;
    ILivenessEvents& FEvents;
    std::function<double()> FNow;
    double FLastFrameTime = 0;  // date-time; 0 until a first frame
    bool FRunning = false;      // the timer's tag
};

}  // namespace corvala
