#pragma once
// Where the viewer draws a host's picture: which region of the frame is shown
// (one monitor of a multi-monitor host, or the whole frame), how that region
// is fitted into the panel, and how a point on the picture maps back to the
// host's desktop. Pure arithmetic over a snapshot of the peer's geometry.

#include "media/RTCUtils.h"

#include <QList>

#include <optional>

namespace corvala {

// The geometry fields of a TPeer that the view needs, copied on the main thread.
struct PeerGeometry {
    int FrameWidth = 0;
    int FrameHeight = 0;
    int DesktopLeft = 0;
    int DesktopTop = 0;
    int DesktopWidth = 0;
    int DesktopHeight = 0;
    int MultipleMonitorsCount = 0;
    QList<TPeerMonitor> MultipleMonitors;
    int CurrentMonitor = 0;
};

PeerGeometry GeometryOf(const TPeer& peer);

// The part of the frame shown on the picture, in frame pixels.
struct MonitorRegion {
    bool Cropped = false;  // one monitor cut out of a frame of the whole desktop
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    // The chosen monitor as the host reported it (valid when Cropped).
    TPeerMonitor Monitor;
    friend bool operator==(const MonitorRegion& a, const MonitorRegion& b) {
        return a.Cropped == b.Cropped && a.Left == b.Left && a.Top == b.Top && a.Width == b.Width &&
               a.Height == b.Height;
    }
};

// A peer is cropped when it has more than one monitor and its frame is exactly
// the reported desktop; the region is then the chosen monitor. A chosen
// monitor the host did not report falls back to the whole frame rather than
// reading past the list.
MonitorRegion RegionOf(const PeerGeometry& peer);

struct PictureLayout {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    friend bool operator==(const PictureLayout&, const PictureLayout&) = default;
};

// Fits a W x H region into a PW x PH panel: scaled down keeping its aspect
// when it does not fit, never enlarged, centred. Nothing when the region or
// the panel is empty.
std::optional<PictureLayout> FitPicture(int width, int height, int panelWidth, int panelHeight);

// FitRemoteScreen's layout for a peer: the region by the monitor rule fitted
// into the panel; nothing when the region is empty.
std::optional<PictureLayout> FitRemoteScreen(const PeerGeometry& peer, int panelWidth, int panelHeight);

// The picture size the layout last gave (imgSceneWidth/imgSceneHeight).
struct SceneSize {
    int Width = 0;
    int Height = 0;
};

// A point on the picture (X, Y) in host desktop coordinates. Cropped: scaled
// to the chosen monitor plus the monitor's reported Left/Top; otherwise scaled
// to the reported desktop size (the frame size when none was reported) and
// measured from the frame's top-left corner. 0 for an axis whose picture
// extent is 0.
int MapX(const PeerGeometry& peer, SceneSize scene, int x);
int MapY(const PeerGeometry& peer, SceneSize scene, int y);

// What the frame handler does with one remote frame.
struct FramePlan {
    MonitorRegion Region;
    bool SizeChanged = false;  // store the size, repaint the panel background, FitRemoteScreen
};

// Decides the drawing of a frame and updates the last drawn size.
FramePlan PlanFrameDraw(const PeerGeometry& peer, int& lastFrameWidth, int& lastFrameHeight);

}  // namespace corvala
