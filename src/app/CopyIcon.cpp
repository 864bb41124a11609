#include "app/CopyIcon.h"

#include <QEvent>
#include <QPainter>

#include "base/ProcessState.h"
#include "i18n/Translator.h"
#include "widgets/WindowChrome.h"

namespace corvala {

TCopyIcon::TCopyIcon(QLabel* idLabel, QLabel* passwordLabel, QTimer* hider, std::function<bool()> randomPassword,
                     std::function<void(bool password)> copy, QWidget* parent)
    : QLabel(parent),
      FIdLabel(idLabel),
      FPasswordLabel(passwordLabel),
      FHider(hider),
      FRandomPassword(std::move(randomPassword)),
      FCopy(std::move(copy)) {
    setObjectName("ImageCopy");
    setFixedSize(20, 20);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    hide();
    for (QWidget* watched :
         {static_cast<QWidget*>(FIdLabel), static_cast<QWidget*>(FPasswordLabel), static_cast<QWidget*>(this)}) {
        watched->setMouseTracking(true);
        watched->installEventFilter(this);
    }
    connect(FHider, &QTimer::timeout, this, [this] {
        hide();
        FHider->stop();
    });
}

void TCopyIcon::Translate() { setToolTip(QString()); }

void TCopyIcon::ShowAt(QLabel* label, TCursorIsUnder under) {
    const QPoint at = label->mapTo(parentWidget(), QPoint(label->width(), 0));
    move(at);
    SetPicture(Picture::Normal);
    setToolTip(QString());
    FCursorIsUnder = under;
    show();
    raise();
}

bool TCopyIcon::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Enter:
            if (watched == FIdLabel) ShowAt(FIdLabel, TCursorIsUnder::cuID);
            if (watched == FPasswordLabel) {
                if (FRandomPassword())
                    ShowAt(FPasswordLabel, TCursorIsUnder::cuPassword);
                else
                    hide();
            }
            if (watched == this) SetPicture(Picture::Hover);
            FHider->stop();
            break;
        case QEvent::MouseMove: FHider->stop(); break;
        case QEvent::Leave:
            if (watched == this) SetPicture(Picture::Normal);
            FHider->start();
            break;
        case QEvent::MouseButtonPress:
            if (watched == this) SetPicture(Picture::Pressed);
            break;
        case QEvent::MouseButtonRelease:
            if (watched == this) {
                SetPicture(Picture::Hover);
                if (FCursorIsUnder != TCursorIsUnder::cuNone) {
                    setToolTip(translate("Copied to clipboard"));
                    FCopy(FCursorIsUnder == TCursorIsUnder::cuPassword);
                }
            }
            break;
        default: break;
    }
    return QLabel::eventFilter(watched, event);
}

void TCopyIcon::SetPicture(Picture picture) {
    FPicture = picture;
    update();
}

void TCopyIcon::paintEvent(QPaintEvent*) {
    // Two overlapping sheets, darker while pressed, lit under the pointer.
    const ThemeColours& theme = processState().Theme;
    QColor colour = ToQColor(theme.LinkColour);
    if (FPicture == Picture::Hover) colour = colour.lighter(140);
    if (FPicture == Picture::Pressed) colour = colour.darker(140);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(3, 6, 9, 11), 1.5, 1.5);
    p.setBrush(palette().window());
    p.drawRoundedRect(QRectF(7, 2, 9, 11), 1.5, 1.5);
}

}  // namespace corvala
