#include "window/TabCloseButton.h"

#include <QPainter>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"

namespace corvala {

TTabCloseButton::TTabCloseButton(QWidget* parent) : QAbstractButton(parent) {
    setObjectName("btnCloseTab");
    setFixedSize(Size, Size);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
}

void TTabCloseButton::enterEvent(QEnterEvent* e) {
    QAbstractButton::enterEvent(e);
    update();
}

void TTabCloseButton::leaveEvent(QEvent* e) {
    QAbstractButton::leaveEvent(e);
    update();
}

void TTabCloseButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool hot = underMouse();
    if (hot) p.fillRect(rect(), ToQColor(processState().Theme.CloseHoverColour));
    p.setPen(QPen(hot ? QColor(Qt::white) : QColor(60, 60, 60), 1.5));
    const QRectF cross = QRectF(rect()).adjusted(4.5, 4.5, -4.5, -4.5);
    p.drawLine(cross.topLeft(), cross.bottomRight());
    p.drawLine(cross.bottomLeft(), cross.topRight());
}

}  // namespace corvala
