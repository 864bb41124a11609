#include "window/BorderShape.h"

#include <QMouseEvent>
#include <QPainter>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"

namespace corvala {

namespace {

Qt::CursorShape CursorOf(BorderControl control) {
    switch (control) {
        case BorderControl::Left:
        case BorderControl::Right: return Qt::SizeHorCursor;
        case BorderControl::Top:
        case BorderControl::Bottom: return Qt::SizeVerCursor;
        case BorderControl::TopLeft:
        case BorderControl::BottomRight: return Qt::SizeFDiagCursor;
        case BorderControl::TopRight:
        case BorderControl::BottomLeft: return Qt::SizeBDiagCursor;
    }
    return Qt::ArrowCursor;
}

const char* NameOf(BorderControl control) {
    switch (control) {
        case BorderControl::Left: return "Shape1";
        case BorderControl::Right: return "Shape2";
        case BorderControl::Bottom: return "Shape3";
        case BorderControl::Top: return "Shape7";
        case BorderControl::TopLeft: return "ShapeCornerLeftTop";
        case BorderControl::TopRight: return "ShapeCornerRightTop";
        case BorderControl::BottomLeft: return "ShapeCornerLeftBottom";
        case BorderControl::BottomRight: return "ShapeCornerRightBottom";
    }
    return "";
}

}  // namespace

TBorderShape::TBorderShape(BorderControl control, QWidget* window) : QWidget(window), FControl(control) {
    setObjectName(NameOf(control));
    setCursor(CursorOf(control));
    hide();
}

void TBorderShape::PlaceOn(const QRect& r) {
    const int t = Thickness;
    const int w = r.width(), h = r.height();
    switch (FControl) {
        case BorderControl::Left: setGeometry(0, t, t, h - 2 * t); break;
        case BorderControl::Right: setGeometry(w - t, t, t, h - 2 * t); break;
        case BorderControl::Top: setGeometry(t, 0, w - 2 * t, t); break;
        case BorderControl::Bottom: setGeometry(t, h - t, w - 2 * t, t); break;
        case BorderControl::TopLeft: setGeometry(0, 0, t, t); break;
        case BorderControl::TopRight: setGeometry(w - t, 0, t, t); break;
        case BorderControl::BottomLeft: setGeometry(0, h - t, t, t); break;
        case BorderControl::BottomRight: setGeometry(w - t, h - t, t, t); break;
    }
    raise();
}

void TBorderShape::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit Pressed(FControl, e->globalPosition().toPoint());
}

void TBorderShape::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) emit Moved(FControl, e->globalPosition().toPoint());
}

void TBorderShape::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), ToQColor(processState().Theme.BorderColour));
}

}  // namespace corvala
