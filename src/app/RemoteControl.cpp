#include "app/RemoteControl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "app/FormMessage.h"
#include "app/ProcessState.h"
#include "app/RemoteScreenView.h"
#include "control/DateTime.h"
#include "control/QtKeyToVirtualKey.h"
#include "i18n/Translator.h"
#include "media/WebrtcClientVcl.h"
#include "platform/linux/XFixesCursorNames.h"
#include "platform/linux/XTestInputInjector.h"

namespace corvala {

namespace {
// Until file transfer exists nothing is ever transferred.
TTransferMode NoTransfer() { return TTransferMode::Idle; }

MouseButton ButtonOf(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton: return MouseButton::Left;
        case Qt::RightButton: return MouseButton::Right;
        case Qt::MiddleButton: return MouseButton::Middle;
        default: return MouseButton::Other;
    }
}
}  // namespace

TRemoteControl::TRemoteControl(TWebRtcClientVcl& client, TRemoteScreenView& picture, RemoteControlHooks hooks,
                               QObject* parent)
    : QObject(parent), FClient(client), FPicture(picture), FHooks(std::move(hooks)) {
    FInjector = std::make_unique<platform::linuxos::XTestInputInjector>();
    FMessenger = std::make_unique<PeerMessenger>(client, NoTransfer);
    FHostInput = std::make_unique<HostInput>(*FInjector, [] { return processState().LockScreenMode.load(); });

    DispatcherHooks dispatch;
    dispatch.AllowOnlyViewing = FHooks.AllowOnlyViewing;
    dispatch.TransferMode = NoTransfer;
    dispatch.VoiceWindowShowing = [] { return false; };
    dispatch.UpdateAliveButton = FHooks.UpdateAliveButton;
    dispatch.SetRemoteCursor = [this](Qt::CursorShape shape) { FPicture.setCursor(shape); };
    dispatch.HandleFileTransfer = [](TPeer&, const QString&, const QByteArray&) { return false; };
    FDispatcher = std::make_unique<DataChannelDispatcher>(client, *FMessenger, *FHostInput, dispatch);

    ViewerInputHooks viewer;
    viewer.TabActive = [this] { return !FClient.CurrentViewingPeerID().isEmpty(); };
    viewer.TransferMode = NoTransfer;
    viewer.Scene = [this] { return SceneSize{FPicture.Picture().width(), FPicture.Picture().height()}; };
    viewer.ShowDemonstrationMessage = [] {
        ShowAppMessage(true, MessageKind::Information, translate(control_texts::DemonstrationRejects));
    };
    FViewer = std::make_unique<ViewerInput>(client, *FMessenger, viewer);

    LivenessHooks liveness;
    liveness.TransferMode = NoTransfer;
    liveness.EndCall = [this](const QString& id) { FClient.EndCall(id); };
    liveness.SessionsEnded = FHooks.SessionsEnded;
    liveness.LastFrameTime = [this] { return FLastFrameTime; };
    liveness.SetLastFrameTime = [this](double t) { FLastFrameTime = t; };
    liveness.ReconnectButtonVisible = FHooks.ReconnectButtonVisible;
    liveness.Reconnect = FHooks.Reconnect;
    liveness.UpdateAliveButton = FHooks.UpdateAliveButton;
    FLiveness = std::make_unique<LivenessCheck>(client, liveness);

    FCursorNames = std::make_unique<platform::linuxos::XFixesCursorNames>();
    FPicture.installEventFilter(this);
}

void TRemoteControl::CursorCheckTick() {
    CursorShapeMonitor::Conditions conditions;
    conditions.eventsSuspended = processState().EventsSuspended;
    conditions.masterMode = processState().MasterMode;
    conditions.allowOnlyViewing = FHooks.AllowOnlyViewing();
    conditions.anyPeer = FClient.Peers.Count() > 0;
    if (auto message = FCursorMonitor.Tick(conditions, FCursorNames->CurrentCursorName()))
        FMessenger->SendDataToEveryPeer(*message);
}

TRemoteControl::~TRemoteControl() = default;

void TRemoteControl::FrameDrawn() { FLastFrameTime = NowDateTime(); }

bool TRemoteControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &FPicture) return false;
    const auto origin = [this] { return FPicture.PictureOrigin(); };
    switch (event->type()) {
        case QEvent::MouseMove: {
            const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint() - origin();
            FViewer->MouseMove(p.x(), p.y());
            return false;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* e = static_cast<QMouseEvent*>(event);
            const QPoint p = e->position().toPoint() - origin();
            FViewer->MouseMove(p.x(), p.y());
            FViewer->MouseDown(ButtonOf(e->button()));
            FPicture.setFocus();
            return true;
        }
        case QEvent::MouseButtonRelease:
            FViewer->MouseUp(ButtonOf(static_cast<QMouseEvent*>(event)->button()));
            return true;
        case QEvent::Wheel:
            FViewer->Wheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* e = static_cast<QKeyEvent*>(event);
            if (e->isAutoRepeat() && event->type() == QEvent::KeyRelease) return true;
            const int key = VirtualKeyFromQtKey(e->key(), e->modifiers());
            if (key == 0) return false;
            FViewer->SendKey(key, event->type() == QEvent::KeyRelease, e->modifiers().testFlag(Qt::AltModifier));
            return true;
        }
        case QEvent::FocusOut:
            FViewer->ReleasePressedKeys();
            return false;
        default:
            return false;
    }
}

}  // namespace corvala
