#pragma once
// The parts every frameless Corvala window is drawn with: caption buttons,
// a caption bar that drags its window, theme colours as Qt colours, and the
// recolouring of glyph bitmaps.

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QWidget>
#include <functional>

#include "base/ThemeColours.h"

namespace corvala {

inline QColor ToQColor(Rgb rgb) { return QColor::fromRgb(rgb); }

// Every pixel of the glyph key colour becomes `colour`.
QImage RecolourGlyph(const QImage& glyph, Rgb colour);

// A caption button: caption colour at rest, the hover and pressed colours
// of its kind under the mouse; its glyph in IconColour.
class TCaptionButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Glyph { Close, Minimize, Maximize, Restore, HideToTray, Collapse, Expand, FullScreen, Info, Contact, Menu };
    static constexpr int Width = 37;
    static constexpr int Height = 30;

    TCaptionButton(Glyph glyph, QWidget* parent);
    void SetGlyph(Glyph glyph);
    QSize sizeHint() const override { return {Width, Height}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    Glyph FGlyph;
};

// Caption bar: painted in CaptionColour; pressing and moving the mouse on
// it (or on the children that let mouse events through) drags the window.
class TCaptionBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int Height = 32;
    explicit TCaptionBar(QWidget* parent);
    // Lets `child` (a label) drag the window too.
    void DragBy(QWidget* child);
    // Where a drag wants the window's top-left corner; the window decides.
    // Unset: the window simply moves there.
    std::function<void(QPoint wantedTopLeft)> MoveWindow;
    // The press that starts a drag (the window keeps BordersMouseDownPos).
    std::function<void(QPoint globalPosition)> Pressed;

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    bool FDragging = false;
    QPoint FGrabOffset;
};

// The title of a small frameless window at the left of its caption bar, in
// CaptionTextColour; it drags the window like the bar. The bar gets its
// row layout here, for buttons to follow the title.
QLabel* AddCaptionTitle(TCaptionBar* bar);

// Paints the border strips of a frameless window in BorderColour, BorderWidth wide.
void PaintWindowBorder(QWidget* window);

}  // namespace corvala
