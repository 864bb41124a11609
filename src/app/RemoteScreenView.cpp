#include "app/RemoteScreenView.h"

#include <QPainter>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"
#include "media/RtcClientPort.h"
#include "screen/RemoteViewGeometry.h"

namespace corvala {

TRemoteScreenView::TRemoteScreenView(QWidget* parent) : QWidget(parent) {
    setObjectName("imgRemoteScreen");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void TRemoteScreenView::DrawRemoteFrame(IRtcClientPort& rtc) {
    FSource = &rtc;
    // One monitor of a multi-monitor host, or the whole frame.
    MonitorRegion region;
    const QSize frame = rtc.RemoteFrameSize();
    region.Width = frame.width();
    region.Height = frame.height();
    if (auto peer = rtc.FindPeer(rtc.CurrentViewingPeerID())) {
        PeerGeometry geometry = GeometryOf(*peer);
        // The picture holds the viewed peer's last frame, whatever size the
        // peer reports by now.
        geometry.FrameWidth = frame.width();
        geometry.FrameHeight = frame.height();
        region = RegionOf(geometry);
    }
    const auto layout = FitPicture(region.Width, region.Height, width(), height());
    if (!layout) return;
    if (FPicture.size() != QSize(layout->Width, layout->Height))
        FPicture = QImage(layout->Width, layout->Height, QImage::Format_RGB32);
    FOrigin = QPoint(layout->Left, layout->Top);
    if (region.Cropped)
        rtc.DrawRemoteFrame(region.Left, region.Top, region.Width, region.Height, FPicture);
    else
        rtc.DrawRemoteFrame(0, 0, 0, 0, FPicture);  // the whole frame, scaled to the picture
    update();
}

void TRemoteScreenView::resizeEvent(QResizeEvent*) {
    if (FSource) DrawRemoteFrame(*FSource);
}

void TRemoteScreenView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor background = ToQColor(processState().Theme.RemoteAreaColour);
    if (FPicture.isNull()) {
        p.fillRect(rect(), background);
        return;
    }
    // Only the border around the picture is filled: no flicker under it.
    const QRect picture(FOrigin, FPicture.size());
    QRegion around = QRegion(rect()).subtracted(picture);
    for (const QRect& r : around) p.fillRect(r, background);
    p.drawImage(FOrigin, FPicture);
}

}  // namespace corvala
