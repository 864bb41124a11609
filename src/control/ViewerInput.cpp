#include "control/ViewerInput.h"

#include "app/ProcessState.h"

namespace corvala {

namespace {
constexpr auto EscapeAfterWinKey = std::chrono::milliseconds(300);
}

ViewerInput::ViewerInput(TWebRtcClientVcl& client, PeerMessenger& messenger, ViewerInputHooks hooks)
    : client_(client), messenger_(messenger), hooks_(std::move(hooks)) {}

std::chrono::steady_clock::time_point ViewerInput::Now() const {
    return hooks_.Now ? hooks_.Now() : std::chrono::steady_clock::now();
}

ViewerInput::Gate ViewerInput::SendGate() const {
    if (!hooks_.TabActive || !hooks_.TabActive()) return Gate::Closed;
    const QString id = client_.CurrentViewingPeerID();
    if (id.isEmpty()) return Gate::Closed;
    if (hooks_.TransferMode && hooks_.TransferMode() != TTransferMode::Idle) return Gate::Closed;
    if (const auto peer = client_.Peers.Find(id)) {
        if (!peer->Alive) return Gate::Closed;
        if (peer->DemonstrationMode) return Gate::Demonstration;
    }
    return Gate::Open;
}

void ViewerInput::Send(const QString& token) {
    messenger_.SendMessageToPeer(client_.CurrentViewingPeerID(), token);
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
    Send((up ? QStringLiteral("k") : QStringLiteral("K")) + QString::number(key));
    int localKey = key;
    if (key == vk::F4 && altHeld) localKey = 0;
    if ((key == vk::LeftWin || key == vk::RightWin) && processState().MasterMode) {
        LastWinKeyTime_ = now;
        winKeySeen_ = true;
        if (hooks_.InjectLocalEscape) hooks_.InjectLocalEscape();
    }
    return localKey;
}

void ViewerInput::MouseDown(MouseButton button) {
    const Gate gate = SendGate();
    if (gate == Gate::Demonstration) {
        if (hooks_.ShowDemonstrationMessage) hooks_.ShowDemonstrationMessage();
        return;
    }
    if (gate != Gate::Open) return;
    switch (button) {
    case MouseButton::Left: Send(QStringLiteral("L")); break;
    case MouseButton::Right: Send(QStringLiteral("R")); break;
    case MouseButton::Middle: Send(QStringLiteral("M")); break;
    case MouseButton::Other: break;
    }
}

void ViewerInput::MouseUp(MouseButton button) {
    if (SendGate() != Gate::Open) return;
    switch (button) {
    case MouseButton::Left: Send(QStringLiteral("l")); break;
    case MouseButton::Right: Send(QStringLiteral("r")); break;
    case MouseButton::Middle: Send(QStringLiteral("m")); break;
    case MouseButton::Other: break;
    }
}

void ViewerInput::MouseMove(int x, int y) {
    if (SendGate() != Gate::Open) return;
    if (x == LastCoordinateX_ && y == LastCoordinateY_) return;
    const auto peer = client_.Peers.Find(client_.CurrentViewingPeerID());
    if (!peer) return;
    const PeerGeometry geometry = GeometryOf(*peer);
    if (geometry.FrameWidth == 0 || geometry.FrameHeight == 0) return;
    LastCoordinateX_ = x;
    LastCoordinateY_ = y;
    const SceneSize scene = hooks_.Scene ? hooks_.Scene() : SceneSize{};
    Send(QStringLiteral("x%1y%2").arg(MapX(geometry, scene, x)).arg(MapY(geometry, scene, y)));
}

void ViewerInput::Wheel(int delta) {
    if (!processState().MasterMode) return;
    if (SendGate() != Gate::Open) return;
    Send(QStringLiteral("W") + QString::number(delta));
}

void ViewerInput::SendControlCommand(int n) {
    const Gate gate = SendGate();
    if (gate == Gate::Demonstration) {
        if (hooks_.ShowDemonstrationMessage) hooks_.ShowDemonstrationMessage();
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
