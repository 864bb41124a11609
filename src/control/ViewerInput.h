#pragma once
// The viewer's input senders: keys, mouse buttons, moves and the wheel over
// the remote picture become one input token per data-channel message to the
// peer of the active tab.

#include "control/ControlProtocol.h"
#include "control/PeerMessenger.h"
#include "media/WebrtcClientVcl.h"
#include "screen/RemoteViewGeometry.h"

#include <QList>

#include <chrono>
#include <functional>

namespace corvala {

// What the main window connects. Unset: no tab, Idle, no picture.
struct ViewerInputHooks {
    std::function<bool()> TabActive;
    std::function<TTransferMode()> TransferMode;
    // imgSceneWidth, imgSceneHeight.
    std::function<SceneSize()> Scene;
    // ShowAppMessage(translate(control_texts::DemonstrationRejects)).
    std::function<void()> ShowDemonstrationMessage;
    // A local Escape key press (down only) to close the menu the Windows key
    // opened on this desktop.
    std::function<void()> InjectLocalEscape;
    std::function<std::chrono::steady_clock::time_point()> Now;
};

enum class MouseButton { Left, Right, Middle, Other };

class ViewerInput {
public:
    ViewerInput(TWebRtcClientVcl& client, PeerMessenger& messenger, ViewerInputHooks hooks);

    // FormKeyDown/FormKeyUp. Returns the key the local window should keep
    // handling: 0 for Alt+F4, so that it reaches the host and does not close
    // this window; otherwise `key`.
    int SendKey(int key, bool up, bool altHeld);
    void MouseDown(MouseButton button);
    void MouseUp(MouseButton button);
    // A move over the picture at (X, Y) in picture pixels. RevealFullScreenMenu
    // is the window's, before this call.
    void MouseMove(int x, int y);
    void Wheel(int delta);
    // A control-menu item: "CONTROL" + n to the viewed peer, or the
    // demonstration message when that peer rejects control commands.
    void SendControlCommand(int n);

    // The application lost the focus: every held key is released on the host.
    void ReleasePressedKeys();
    // Tab change or tab close: forget held keys without sending anything.
    void ClearPressedKeys() { PressedKeys_.clear(); }

    const QList<quint16>& PressedKeys() const { return PressedKeys_; }
    int LastCoordinateX() const { return LastCoordinateX_; }
    int LastCoordinateY() const { return LastCoordinateY_; }

private:
    enum class Gate { Open, Closed, Demonstration };
    Gate SendGate() const;
    void Send(const QString& token);
    std::chrono::steady_clock::time_point Now() const;

    TWebRtcClientVcl& client_;
    PeerMessenger& messenger_;
    ViewerInputHooks hooks_;
    QList<quint16> PressedKeys_;
    std::chrono::steady_clock::time_point LastWinKeyTime_{};
    bool winKeySeen_ = false;
    int LastCoordinateX_ = 0;
    int LastCoordinateY_ = 0;
};

}  // namespace corvala
