#include "screen/RemoteViewGeometry.h"

#include "screen/Rounding.h"

#include <algorithm>
#include <limits>

namespace corvala {

PeerGeometry GeometryOf(const TPeer& peer) {
    PeerGeometry g;
    g.FrameWidth = peer.FFrameWidth.load();
    g.FrameHeight = peer.FFrameHeight.load();
    g.DesktopLeft = peer.DesktopLeft;
    g.DesktopTop = peer.DesktopTop;
    g.DesktopWidth = peer.DesktopWidth;
    g.DesktopHeight = peer.DesktopHeight;
    g.MultipleMonitorsCount = peer.MultipleMonitorsCount;
    g.MultipleMonitors = peer.MultipleMonitors;
    g.CurrentMonitor = peer.CurrentMonitor;
    return g;
}

MonitorRegion RegionOf(const PeerGeometry& peer) {
    MonitorRegion region;
    const bool wholeDesktop = peer.FrameWidth == peer.DesktopWidth && peer.FrameHeight == peer.DesktopHeight;
    const bool known = peer.CurrentMonitor >= 0 && peer.CurrentMonitor < peer.MultipleMonitors.size();
    if (peer.MultipleMonitorsCount > 1 && wholeDesktop && known) {
        // The host's claims are clipped to the frame it really sent: a
        // monitor reported larger than the frame (or far outside it) must not
        // make the viewer copy more than the frame holds.
        const TPeerMonitor& m = peer.MultipleMonitors[peer.CurrentMonitor];
        const qint64 left = std::max<qint64>(qint64(m.Left) - peer.DesktopLeft, 0);
        const qint64 top = std::max<qint64>(qint64(m.Top) - peer.DesktopTop, 0);
        const qint64 right = std::min<qint64>(qint64(m.Left) - peer.DesktopLeft + m.Width, peer.FrameWidth);
        const qint64 bottom = std::min<qint64>(qint64(m.Top) - peer.DesktopTop + m.Height, peer.FrameHeight);
        if (right > left && bottom > top) {
            region.Cropped = true;
            region.Monitor = m;
            region.Left = int(left);
            region.Top = int(top);
            region.Width = int(right - left);
            region.Height = int(bottom - top);
            return region;
        }
    }
    region.Width = peer.FrameWidth;
    region.Height = peer.FrameHeight;
    return region;
}

std::optional<PictureLayout> FitPicture(int width, int height, int panelWidth, int panelHeight) {
    if (width <= 0 || height <= 0) return std::nullopt;
    // A panel squeezed to nothing: the layout stays as it was (the division
    // by its height would fail).
    if (panelWidth <= 0 || panelHeight <= 0) return std::nullopt;
    PictureLayout layout;
    if (panelWidth < width || panelHeight < height) {
        const double r = static_cast<double>(width) / height;
        if (r >= static_cast<double>(panelWidth) / panelHeight) {
            layout.Width = panelWidth;
            layout.Height = RoundHalfEven(panelWidth / r);
        } else {
            layout.Height = panelHeight;
            layout.Width = RoundHalfEven(r * panelHeight);
        }
    } else {
        layout.Width = width;
        layout.Height = height;
    }
    layout.Left = RoundHalfEven(panelWidth / 2.0 - layout.Width / 2.0);
    layout.Top = RoundHalfEven(panelHeight / 2.0 - layout.Height / 2.0);
    return layout;
}

std::optional<PictureLayout> FitRemoteScreen(const PeerGeometry& peer, int panelWidth, int panelHeight) {
    const MonitorRegion region = RegionOf(peer);
    return FitPicture(region.Width, region.Height, panelWidth, panelHeight);
}

namespace {

// `regionOrigin`: the region's place on the host's desktop (the desktop's
// corner plus the region's offset in the frame), in 64 bits so that no claim
// of the host can overflow the sum.
int MapAxis(bool cropped, int regionExtent, qint64 regionOrigin, int desktopExtent, int frameExtent, int sceneExtent,
            int value) {
    if (sceneExtent == 0) return 0;
    if (cropped) {
        const qint64 position = qint64(RoundHalfEven(static_cast<double>(regionExtent) / sceneExtent * value)) + regionOrigin;
        return int(std::clamp<qint64>(position, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }
    const int extent = desktopExtent > 0 ? desktopExtent : frameExtent;
    return RoundHalfEven(static_cast<double>(extent) / sceneExtent * value);
}

}  // namespace

int MapX(const PeerGeometry& peer, SceneSize scene, int x) {
    const MonitorRegion r = RegionOf(peer);
    return MapAxis(r.Cropped, r.Width, qint64(peer.DesktopLeft) + r.Left, peer.DesktopWidth, peer.FrameWidth,
                   scene.Width, x);
}

int MapY(const PeerGeometry& peer, SceneSize scene, int y) {
    const MonitorRegion r = RegionOf(peer);
    return MapAxis(r.Cropped, r.Height, qint64(peer.DesktopTop) + r.Top, peer.DesktopHeight, peer.FrameHeight,
                   scene.Height, y);
}

FramePlan PlanFrameDraw(const PeerGeometry& peer, int& lastFrameWidth, int& lastFrameHeight) {
    FramePlan plan;
    plan.Region = RegionOf(peer);
    if (plan.Region.Width != lastFrameWidth || plan.Region.Height != lastFrameHeight) {
        lastFrameWidth = plan.Region.Width;
        lastFrameHeight = plan.Region.Height;
        plan.SizeChanged = true;
    }
    return plan;
}

}  // namespace corvala
