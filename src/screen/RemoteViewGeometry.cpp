#include "screen/RemoteViewGeometry.h"

#include "screen/Rounding.h"

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
        const TPeerMonitor& m = peer.MultipleMonitors[peer.CurrentMonitor];
        region.Cropped = true;
        region.Monitor = m;
        region.Left = m.Left - peer.DesktopLeft;
        region.Top = m.Top - peer.DesktopTop;
        region.Width = m.Width;
        region.Height = m.Height;
    } else {
        region.Width = peer.FrameWidth;
        region.Height = peer.FrameHeight;
    }
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

int MapAxis(bool cropped, int monitorExtent, int monitorOrigin, int desktopExtent, int frameExtent, int sceneExtent,
            int value) {
    if (sceneExtent == 0) return 0;
    if (cropped) return RoundHalfEven(static_cast<double>(monitorExtent) / sceneExtent * value) + monitorOrigin;
    const int extent = desktopExtent > 0 ? desktopExtent : frameExtent;
    return RoundHalfEven(static_cast<double>(extent) / sceneExtent * value);
}

}  // namespace

int MapX(const PeerGeometry& peer, SceneSize scene, int x) {
    const MonitorRegion r = RegionOf(peer);
    return MapAxis(r.Cropped, r.Monitor.Width, r.Monitor.Left, peer.DesktopWidth, peer.FrameWidth, scene.Width, x);
}

int MapY(const PeerGeometry& peer, SceneSize scene, int y) {
    const MonitorRegion r = RegionOf(peer);
    return MapAxis(r.Cropped, r.Monitor.Height, r.Monitor.Top, peer.DesktopHeight, peer.FrameHeight, scene.Height, y);
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
