#pragma once
// One of the eight thin panels on the viewer window's edges that resize it
// with the left button held. It reports the press and each move in screen
// coordinates; the window applies the resize rules.

#include <QWidget>

#include "window/WindowGeometry.h"

namespace corvala {

class TBorderShape : public QWidget {
    Q_OBJECT
public:
    static constexpr int Thickness = 5;
    TBorderShape(BorderControl control, QWidget* window);
    BorderControl Control() const { return FControl; }
    // Places itself on its edge or corner of the window's rectangle.
    void PlaceOn(const QRect& windowRect);

signals:
    void Pressed(BorderControl control, QPoint global);
    void Moved(BorderControl control, QPoint global);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent*) override;

private:
    BorderControl FControl;
};

}  // namespace corvala
