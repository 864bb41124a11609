#include "window/MainBanner.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include "base/Log.h"
#include "base/ProcessState.h"
#include "base/ProductInfo.h"
#include "widgets/WindowChrome.h"

namespace corvala {

TMainBanner::TMainBanner(int width, QWidget* parent) : QWidget(parent), FWidth(width) {
    setObjectName("imgBanner");
    setFixedSize(width, DrawnHeight);
}

bool TMainBanner::ShowPicture(const QString& path) {
    const QFileInfo file(path);
    if (!file.isFile() || file.size() > MaxPictureBytes) {
        qCWarning(lcWindow) << "branded banner refused:" << path << "is no file of at most" << MaxPictureBytes
                            << "bytes";
        return false;
    }
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxPictureSide || size.height() > MaxPictureSide) {
        qCWarning(lcWindow) << "branded banner refused:" << path << "has the size" << size << "-"
                            << reader.errorString();
        return false;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        qCWarning(lcWindow) << "branded banner refused:" << path << "-" << reader.errorString();
        return false;
    }
    // As wide as the text block unless the height bound makes it narrower.
    FPicture =
        QPixmap::fromImage(image.scaled(FWidth, MaxPictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    setFixedSize(FWidth, FPicture.height());
    update();
    return true;
}

void TMainBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!FPicture.isNull()) {
        p.drawPixmap(0, 0, FPicture);
        return;
    }
    // The program's own: a screen glyph and the product name on the caption
    // colour.
    const ThemeColours& theme = processState().Theme;
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), ToQColor(theme.CaptionColour));
    const QColor ink = ToQColor(theme.CaptionTextColour);
    p.setPen(QPen(ink, 2));
    const QRectF screen(14, 12, 38, 25);
    p.drawRoundedRect(screen, 3, 3);
    p.drawLine(QPointF(screen.center().x(), screen.bottom()), QPointF(screen.center().x(), screen.bottom() + 6));
    p.drawLine(QPointF(screen.center().x() - 9, screen.bottom() + 7),
               QPointF(screen.center().x() + 9, screen.bottom() + 7));
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(24);
    p.setFont(font);
    p.drawText(QRectF(66, 0, width() - 66, height()), Qt::AlignVCenter | Qt::AlignLeft, ProductName);
}

}  // namespace corvala
