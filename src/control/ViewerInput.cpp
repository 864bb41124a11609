#include "control/ViewerInput.h"

#include "base/ProcessState.h"

namespace corvala {

namespace {
constexpr auto EscapeAfterWinKey = std::chrono::milliseconds(300);
}

ViewerInput::ViewerInput(IRtcClientPort& rtc, PeerMessenger& messenger, IViewerInputEvents& events, Clock now)
    : FRtc(rtc), FMessenger(messenger), FEvents(events), FNow(std::move(now)) {}

std::chrono::steady_clock::time_point ViewerInput::Now() const {
    return FNow ? FNow() : std::chrono::steady_clock::now();
}

ViewerInput::Gate ViewerInput::SendGate() const {
    if (!FEvents.TabActive()) return Gate::Closed;
    const QString id = FRtc.CurrentViewingPeerID();
    if (id.isEmpty()) return Gate::Closed;
    if (processState().TransferMode != TTransferMode::Idle) return Gate::Closed;
    if (const auto peer = FRtc.FindPeer(id)) {
        if (!peer->Alive) return Gate::Closed;
        if (peer->DemonstrationMode) return Gate::Demonstration;
    }
    return Gate::Open;
}

void ViewerInput::Send(const QString& token) {
    FMessenger.SendMessageToPeer(FRtc.CurrentViewingPeerID(), token);
}

int ViewerInput::SendKey(int key, bool up, bool altHeld) {
    if (SendGate() != Gate::Open) return key;
    const auto now = Now();
    if (key == vk::Escape && winKeySeen_ && now - LastWinKeyTime_ < EscapeAfterWinKey) return 0;
    const auto code = static_cast<quint16>(key);
    if (up) {
        PressedKeys_.removeOne(code);
    } else if (!PressedKeys_.contains(code)) {
        PressedKeys_.append(code);
    }
    Send(input_tokens::Key(key, up));
    int localKey = key;
    if (key == vk::F4 && altHeld) localKey = 0;
    if ((key == vk::LeftWin || key == vk::RightWin) && processState().MasterMode) {
        LastWinKeyTime_ = now;
        winKeySeen_ = true;
        FEvents.InjectLocalEscape();
    }
    return localKey;
}

void ViewerInput::MouseDown(MouseButton button) {
    const Gate gate = SendGate();
    if (gate == Gate::Demonstration) {
        FEvents.ShowDemonstrationMessage();
        return;
    }
    if (gate != Gate::Open) return;
    const QString token = input_tokens::Button(button, false);
    if (!token.isEmpty()) Send(token);
}

void ViewerInput::MouseUp(MouseButton button) {
    if (SendGate() != Gate::Open) return;
    const QString token = input_tokens::Button(button, true);
    if (!token.isEmpty()) Send(token);
}

void ViewerInput::MouseMove(int x, int y, SceneSize scene) {
    if (SendGate() != Gate::Open) return;
    if (x == LastCoordinateX_ && y == LastCoordinateY_) return;
    const auto peer = FRtc.FindPeer(FRtc.CurrentViewingPeerID());
    if (!peer) return;
    const PeerGeometry geometry = GeometryOf(*peer);
    if (geometry.FrameWidth == 0 || geometry.FrameHeight == 0) return;
    LastCoordinateX_ = x;
    LastCoordinateY_ = y;
    Send(input_tokens::Move(MapX(geometry, scene, x), MapY(geometry, scene, y)));
}

void ViewerInput::Wheel(int delta) {
    if (!processState().MasterMode) return;
    if (SendGate() != Gate::Open) return;
    Send(input_tokens::Wheel(delta));
}

void ViewerInput::SendControlCommand(int n) {
    const Gate gate = SendGate();
    if (gate == Gate::Demonstration) {
        FEvents.ShowDemonstrationMessage();
        return;
    }
    if (gate != Gate::Open) return;
    Send(QString::fromLatin1(commands::Control) + QString::number(n));
}

void ViewerInput::ReleasePressedKeys() {
    if (!processState().MasterMode || PressedKeys_.isEmpty()) return;
    const QList<quint16> held = PressedKeys_;
    for (quint16 key : held) SendKey(key, true, false);
}

}  // namespace corvala
