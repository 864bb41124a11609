#include "app/RemoteInputFilter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "app/RemoteScreenView.h"
#include "control/QtKeyToVirtualKey.h"
#include "control/ViewerInput.h"

namespace corvala {

namespace {

MouseButton ButtonOf(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton: return MouseButton::Left;
        case Qt::RightButton: return MouseButton::Right;
        case Qt::MiddleButton: return MouseButton::Middle;
        default: return MouseButton::Other;
    }
}

}  // namespace

TRemoteInputFilter::TRemoteInputFilter(TRemoteScreenView& picture, ViewerInput& viewer, QObject* parent)
    : QObject(parent), FPicture(picture), FViewer(viewer) {
    FPicture.installEventFilter(this);
}

bool TRemoteInputFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &FPicture) return false;
    const SceneSize scene{FPicture.Picture().width(), FPicture.Picture().height()};
    const auto at = [this](const QMouseEvent* e) { return e->position().toPoint() - FPicture.PictureOrigin(); };
    switch (event->type()) {
        case QEvent::MouseMove: {
            const QPoint p = at(static_cast<QMouseEvent*>(event));
            FViewer.MouseMove(p.x(), p.y(), scene);
            return false;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* e = static_cast<QMouseEvent*>(event);
            const QPoint p = at(e);
            FViewer.MouseMove(p.x(), p.y(), scene);
            FViewer.MouseDown(ButtonOf(e->button()));
            FPicture.setFocus();
            return true;
        }
        case QEvent::MouseButtonRelease:
            FViewer.MouseUp(ButtonOf(static_cast<QMouseEvent*>(event)->button()));
            return true;
        case QEvent::Wheel:
            FViewer.Wheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* e = static_cast<QKeyEvent*>(event);
            if (e->isAutoRepeat() && event->type() == QEvent::KeyRelease) return true;
            const int key = VirtualKeyFromQtKey(e->key(), e->modifiers());
            if (key == 0) return false;
            FViewer.SendKey(key, event->type() == QEvent::KeyRelease, e->modifiers().testFlag(Qt::AltModifier));
            return true;
        }
        case QEvent::FocusOut:
            FViewer.ReleasePressedKeys();
            return false;
        default:
            return false;
    }
}

}  // namespace corvala
