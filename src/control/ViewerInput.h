#pragma once
// The viewer's input senders: keys, mouse buttons, moves and the wheel over
// the remote picture become one input token per data-channel message to the
// peer of the active tab.

#include "control/ControlProtocol.h"
#include "control/InputTokens.h"
#include "control/PeerMessenger.h"
#include "media/RtcClientPort.h"
#include "screen/RemoteViewGeometry.h"

#include <QList>

#include <chrono>
#include <functional>

namespace corvala {

// What the senders ask of the rest of the program; the core implements it.
class IViewerInputEvents {
public:
    // A connection tab is selected.
    virtual bool TabActive() const = 0;
    // The viewed host is in demonstration mode and rejects control.
    virtual void ShowDemonstrationMessage() = 0;
    // The Windows key went to the host; the menu it may have opened on this
    // desktop is closed with a local Escape.
    virtual void InjectLocalEscape() = 0;

protected:
    ~IViewerInputEvents() = default;
};

class ViewerInput {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    ViewerInput(IRtcClientPort& rtc, PeerMessenger& messenger, IViewerInputEvents& events, Clock now = {});

    // FormKeyDown/FormKeyUp. Returns the key the local window should keep
    // handling: 0 for Alt+F4, so that it reaches the host and does not close
    // this window; otherwise `key`.
    int SendKey(int key, bool up, bool altHeld);
    void MouseDown(MouseButton button);
    void MouseUp(MouseButton button);
    // A move over the picture (of size `scene`) at (X, Y) in picture
    // pixels. RevealFullScreenMenu is the window's, before this call.
    void MouseMove(int x, int y, SceneSize scene);
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

    IRtcClientPort& FRtc;
    PeerMessenger& FMessenger;
    IViewerInputEvents& FEvents;
    Clock FNow;
    QList<quint16> PressedKeys_;
    std::chrono::steady_clock::time_point LastWinKeyTime_{};
    bool winKeySeen_ = false;
    int LastCoordinateX_ = 0;
    int LastCoordinateY_ = 0;
};

}  // namespace corvala
