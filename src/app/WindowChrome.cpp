#include "app/WindowChrome.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/ProcessState.h"

namespace corvala {

QImage RecolourGlyph(const QImage& glyph, Rgb colour) {
    QImage image = glyph.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = qRgb(ThemeColours::IconKeyColour >> 16, (ThemeColours::IconKeyColour >> 8) & 0xFF,
                          ThemeColours::IconKeyColour & 0xFF);
    const QRgb replacement = qRgb(colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) == 255 && (line[x] & 0xFFFFFF) == (key & 0xFFFFFF)) line[x] = replacement;
    }
    return image;
}

TCaptionButton::TCaptionButton(Glyph glyph, QWidget* parent) : QAbstractButton(parent), FGlyph(glyph) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(Width, Height);
}

void TCaptionButton::SetGlyph(Glyph glyph) {
    FGlyph = glyph;
    update();
}

void TCaptionButton::enterEvent(QEnterEvent* e) {
    QAbstractButton::enterEvent(e);
    update();
}

void TCaptionButton::leaveEvent(QEvent* e) {
    QAbstractButton::leaveEvent(e);
    update();
}

void TCaptionButton::paintEvent(QPaintEvent*) {
    const ThemeColours& theme = processState().Theme;
    const bool close = FGlyph == Glyph::Close;
    Rgb back = theme.CaptionColour;
    if (isDown()) back = close ? theme.ClosePressedColour : theme.CaptionButtonPressedColour;
    else if (underMouse()) back = close ? theme.CloseHoverColour : theme.CaptionButtonHoverColour;
    QPainter p(this);
    p.fillRect(rect(), ToQColor(back));
    // Crisp 10-pixel glyphs drawn like the bitmaps they stand for.
    p.setPen(QPen(ToQColor(close && underMouse() ? 0xFFFFFF : theme.IconColour), 1));
    const QPoint c = rect().center();
    const int h = 5;
    switch (FGlyph) {
        case Glyph::Close:
            p.drawLine(c + QPoint(-h, -h), c + QPoint(h, h));
            p.drawLine(c + QPoint(-h, h), c + QPoint(h, -h));
            break;
        case Glyph::Minimize:
            p.drawLine(c + QPoint(-h, 0), c + QPoint(h, 0));
            break;
        case Glyph::Maximize:
            p.drawRect(QRect(c - QPoint(h, h), QSize(2 * h, 2 * h)));
            break;
        case Glyph::Restore:
            p.drawRect(QRect(c - QPoint(h, h - 2), QSize(2 * h - 2, 2 * h - 2)));
            p.drawLine(c + QPoint(-h + 2, -h), c + QPoint(h, -h));
            p.drawLine(c + QPoint(h, -h), c + QPoint(h, h - 2));
            break;
        case Glyph::HideToTray:
            p.drawLine(c + QPoint(-h, -2), c + QPoint(0, 3));
            p.drawLine(c + QPoint(0, 3), c + QPoint(h, -2));
            break;
    }
}

TCaptionBar::TCaptionBar(QWidget* parent) : QWidget(parent) { setFixedHeight(Height); }

void TCaptionBar::DragBy(QWidget* child) { child->installEventFilter(this); }

void TCaptionBar::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), ToQColor(processState().Theme.CaptionColour));
}

bool TCaptionBar::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: mousePressEvent(static_cast<QMouseEvent*>(event)); return true;
        case QEvent::MouseMove: mouseMoveEvent(static_cast<QMouseEvent*>(event)); return true;
        case QEvent::MouseButtonRelease: mouseReleaseEvent(static_cast<QMouseEvent*>(event)); return true;
        case QEvent::MouseButtonDblClick: mouseDoubleClickEvent(static_cast<QMouseEvent*>(event)); return true;
        default: return QWidget::eventFilter(watched, event);
    }
}

void TCaptionBar::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    FDragging = true;
    FGrabOffset = e->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void TCaptionBar::mouseMoveEvent(QMouseEvent* e) {
    if (FDragging) window()->move(e->globalPosition().toPoint() - FGrabOffset);
}

void TCaptionBar::mouseReleaseEvent(QMouseEvent*) { FDragging = false; }

void TCaptionBar::mouseDoubleClickEvent(QMouseEvent*) { emit DoubleClicked(); }

void PaintWindowBorder(QWidget* window) {
    const ThemeColours& theme = processState().Theme;
    QPainter p(window);
    const QColor colour = ToQColor(theme.BorderColour);
    const int w = theme.BorderWidth;
    const QRect r = window->rect();
    p.fillRect(QRect(0, 0, r.width(), w), colour);
    p.fillRect(QRect(0, r.height() - w, r.width(), w), colour);
    p.fillRect(QRect(0, 0, w, r.height()), colour);
    p.fillRect(QRect(r.width() - w, 0, w, r.height()), colour);
}

}  // namespace corvala
