#include "widgets/WindowChrome.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>

#include "base/ProcessState.h"

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
        case Glyph::Collapse:
            p.drawLine(c + QPoint(-h, 2), c + QPoint(0, -3));
            p.drawLine(c + QPoint(0, -3), c + QPoint(h, 2));
            break;
        case Glyph::Expand:
            p.drawLine(c + QPoint(-h, -3), c + QPoint(0, 2));
            p.drawLine(c + QPoint(0, 2), c + QPoint(h, -3));
            p.drawLine(c + QPoint(-h, 4), c + QPoint(h, 4));
            break;
        case Glyph::FullScreen:
            for (int sx : {-1, 1})
                for (int sy : {-1, 1}) {
                    const QPoint corner = c + QPoint(sx * h, sy * h);
                    p.drawLine(corner, corner - QPoint(sx * 3, 0));
                    p.drawLine(corner, corner - QPoint(0, sy * 3));
                }
            break;
        case Glyph::Info:
            p.drawEllipse(c, h + 1, h + 1);
            p.drawLine(c + QPoint(0, -1), c + QPoint(0, 3));
            p.drawPoint(c + QPoint(0, -3));
            break;
        case Glyph::Menu:
            for (int dy : {-4, 0, 4}) p.drawLine(c + QPoint(-h, dy), c + QPoint(h, dy));
            break;
        case Glyph::Contact:
            p.drawEllipse(c + QPoint(0, -3), 2, 2);
            p.drawArc(QRect(c + QPoint(-h, 1), QSize(2 * h, 2 * h)), 0, 180 * 16);
            break;
    }
}

TCaptionBar::TCaptionBar(QWidget* parent) : QWidget(parent) { setFixedHeight(Height); }

QLabel* AddCaptionTitle(TCaptionBar* bar) {
    auto* title = new QLabel(bar);
    title->setObjectName("lblCaption");
    title->setTextFormat(Qt::PlainText);
    title->setStyleSheet(
        QString("color: %1; padding-left: 8px;").arg(ToQColor(processState().Theme.CaptionTextColour).name()));
    bar->DragBy(title);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(title, 1);
    return title;
}

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
    if (Pressed) Pressed(e->globalPosition().toPoint());
}

void TCaptionBar::mouseMoveEvent(QMouseEvent* e) {
    if (!FDragging) return;
    const QPoint wanted = e->globalPosition().toPoint() - FGrabOffset;
    if (MoveWindow) MoveWindow(wanted);
    else window()->move(wanted);
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
