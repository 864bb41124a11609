#pragma once
// The remote-control channel of the main window: the data-channel command
// dispatcher, the host's input injection, the viewer's input senders and the
// liveness check, wired to the window through hooks. The window owns one.

#include <QObject>
#include <functional>
#include <memory>

#include "control/DataChannelDispatcher.h"
#include "control/HostInput.h"
#include "control/LivenessCheck.h"
#include "control/PeerMessenger.h"
#include "control/ViewerInput.h"
#include "screen/CursorShapes.h"

namespace corvala {

class TWebRtcClientVcl;
class TRemoteScreenView;
namespace platform {
class IInputInjector;
class ICursorNames;
}

// What the remote-control channel asks of its window.
struct RemoteControlHooks {
    std::function<bool()> AllowOnlyViewing;
    std::function<void()> UpdateAliveButton;
    // The viewer's reconnect button: visible?, and its action without sender.
    std::function<bool()> ReconnectButtonVisible;
    std::function<void()> Reconnect;
    // Host: after sessions ended (see LivenessHooks::SessionsEnded).
    std::function<void(bool noPeerLeft)> SessionsEnded;
};

class TRemoteControl : public QObject {
    Q_OBJECT
public:
    TRemoteControl(TWebRtcClientVcl& client, TRemoteScreenView& picture, RemoteControlHooks hooks,
                   QObject* parent = nullptr);
    ~TRemoteControl() override;

    // The receive path's main-thread half.
    void Receive(TPeer& sender, const QByteArray& data) { FDispatcher->Receive(sender, data); }
    // TimerDataTimeout's body.
    void LivenessTick() { FLiveness->Tick(); }
    // A frame of the viewed peer was drawn.
    void FrameDrawn();
    // TimerMouseCursorCheck's body: a host tells its viewers a new cursor shape.
    void CursorCheckTick();

    PeerMessenger& Messenger() { return *FMessenger; }
    ViewerInput& Viewer() { return *FViewer; }
    HostInput& Host() { return *FHostInput; }

protected:
    // The remote picture's mouse, wheel and keyboard become input tokens.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TWebRtcClientVcl& FClient;
    TRemoteScreenView& FPicture;
    RemoteControlHooks FHooks;
    double FLastFrameTime = 0;
    std::unique_ptr<platform::IInputInjector> FInjector;
    std::unique_ptr<PeerMessenger> FMessenger;
    std::unique_ptr<HostInput> FHostInput;
    std::unique_ptr<DataChannelDispatcher> FDispatcher;
    std::unique_ptr<ViewerInput> FViewer;
    std::unique_ptr<LivenessCheck> FLiveness;
    std::unique_ptr<platform::ICursorNames> FCursorNames;
    CursorShapeMonitor FCursorMonitor;
};

}  // namespace corvala
