#pragma once
// The data-channel dispatcher (HandlePeerMessage): classifies one received
// message and runs its effect, on the main thread, in a fixed order of tests.
// Slow or visible work is never done here: the hooks only set a timer's tag
// and enable it, and the work runs on a later tick.

#include "control/ControlProtocol.h"
#include "control/HostInput.h"
#include "control/PeerMessenger.h"
#include "media/WebrtcClientVcl.h"

#include <QByteArray>
#include <QString>
#include <Qt>

#include <functional>

namespace corvala {

// What the main window connects. Unset hooks count as "nothing to do" (and
// AllowOnlyViewing/VoiceWindowShowing as false, TransferMode as Idle).
struct DispatcherHooks {
    std::function<bool()> AllowOnlyViewing;
    std::function<TTransferMode()> TransferMode;
    std::function<bool()> VoiceWindowShowing;
    std::function<void()> UpdateAliveButton;
    // "OPENDOCSDIR": the transfer module opens the destination folder.
    std::function<void()> OpenDocsDir;
    // TimerShowNoSpeakDialog.Tag := tag (1: the sender is in demonstration mode); enable it.
    std::function<void(int tag)> ArmNoSpeakDialog;
    // Enable TimerShowCannotProcessCtrlAltDelDialog.
    std::function<void()> ArmCannotCtrlAltDelDialog;
    // Append a chat line from `sender` and show the chat window.
    std::function<void(TPeer& sender, const QString& text)> ShowChatLine;
    // ClipboardText := text; the system clipboard := text.
    std::function<void(const QString& text)> SetClipboardText;
    // TimerControlCommand.Tag := n; enable it.
    std::function<void(int n)> ArmControlCommand;
    // File-transfer branch: `text` is empty in Receiving, where `raw` holds
    // the record. True when the message was a transfer message (in Sending
    // and Receiving every message is consumed whatever this returns).
    std::function<bool(TPeer& sender, const QString& text, const QByteArray& raw)> HandleFileTransfer;
    // The viewer's cursor over the remote picture.
    std::function<void(Qt::CursorShape shape)> SetRemoteCursor;
};

class DataChannelDispatcher {
public:
    DataChannelDispatcher(TWebRtcClientVcl& client, PeerMessenger& messenger, HostInput& hostInput,
                          DispatcherHooks hooks);

    // The receive path's main-thread half: drops the message while
    // EventsSuspended is set, otherwise dispatches it inside a catch-all so
    // that a failure ends only this message.
    void Receive(TPeer& sender, const QByteArray& data);

    // HandlePeerMessage without the guard (exceptions escape).
    void HandlePeerMessage(TPeer& sender, const QByteArray& data);

private:
    TTransferMode Transfer() const;

    TWebRtcClientVcl& client_;
    PeerMessenger& messenger_;
    HostInput& hostInput_;
    DispatcherHooks hooks_;
};

}  // namespace corvala
