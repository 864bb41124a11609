#pragma once
// The data-channel dispatcher (HandlePeerMessage): classifies one received
// message and runs its effect, on the main thread, in a fixed order of tests.
// Slow or visible work is never done here: what the message asks of the rest
// of the program goes to IDispatcherEvents, whose handlers only arm a timer
// and let the work run on a later tick.

#include "control/ControlProtocol.h"
#include "control/HostInput.h"
#include "control/PeerMessenger.h"
#include "media/RtcClientPort.h"

#include <QByteArray>
#include <QString>
#include <Qt>

namespace corvala {

// What a received message asks of the rest of the program. The core
// implements it and passes each call to the module that owns the feature.
class IDispatcherEvents {
public:
    virtual bool AllowOnlyViewing() const = 0;
    virtual bool VoiceWindowShowing() const = 0;
    virtual void UpdateAliveButton() = 0;
    // "OPENDOCSDIR": open the folder received files went to.
    virtual void OpenDocsDir(TPeer& sender) = 0;
    // "NOSPEAK": the host refused voice (TimerShowNoSpeakDialog);
    // `demonstration`: the sender is in demonstration mode.
    virtual void ArmNoSpeakDialog(bool demonstration) = 0;
    // "LOCKSCREEN_OFF": the host cannot take Ctrl+Alt+Del now.
    virtual void ArmCannotCtrlAltDelDialog() = 0;
    // "NOCONTROL" + n: the host's desktop cannot carry out command n.
    virtual void CommandNotAvailable(TPeer& sender, int n) = 0;
    virtual void ShowChatLine(TPeer& sender, const QString& text) = 0;
    virtual void SetClipboardText(TPeer& sender, const QString& text) = 0;
    // "CONTROL n" (TimerControlCommand).
    virtual void ArmControlCommand(TPeer& sender, int n) = 0;
    // File-transfer branch: `text` is empty while Receiving, where `raw` holds
    // the record. True when the message was a transfer message (while a
    // transfer runs every message is consumed whatever this returns).
    virtual bool HandleFileTransfer(TPeer& sender, const QString& text, const QByteArray& raw) = 0;
    // The viewer's cursor over the remote picture.
    virtual void SetRemoteCursor(Qt::CursorShape shape) = 0;

protected:
    ~IDispatcherEvents() = default;
};

class DataChannelDispatcher {
public:
    DataChannelDispatcher(IRtcClientPort& rtc, PeerMessenger& messenger, HostInput& hostInput,
                          IDispatcherEvents& events);

    // The receive path's main-thread half: drops the message while
    // EventsSuspended is set, otherwise dispatches it; a message that fails
    // ends only itself, with a log line.
    void Receive(TPeer& sender, const QByteArray& data);

    // HandlePeerMessage without the guard (exceptions escape).
    void HandlePeerMessage(TPeer& sender, const QByteArray& data);

private:
    IRtcClientPort& FRtc;
    PeerMessenger& FMessenger;
    HostInput& FHostInput;
    IDispatcherEvents& FEvents;
};

}  // namespace corvala
