#pragma once
// The main window's geometry rules, free of widgets: the two layouts'
// bounds, dragging by the caption or the tab strip, and resizing by the
// eight border controls. Rectangles are the window's outer bounds in screen
// coordinates; the window is frameless, so its client area is the same.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace corvala {

// The thin panels on the window's edges that resize it.
enum class BorderControl {
    Left,         // Shape1
    Right,        // Shape2
    Bottom,       // Shape3
    Top,          // Shape7, viewer layout only
    TopLeft,      // ShapeCornerLeftTop
    TopRight,     // ShapeCornerRightTop
    BottomLeft,   // ShapeCornerLeftBottom
    BottomRight,  // ShapeCornerRightBottom
};

enum class WindowLayout { Host, Viewer };

// The smallest viewer window a border drag leaves: a drag past the opposite
// edge would otherwise give a window of negative size.
inline constexpr QSize MinimumViewerWindow{320, 200};

// The window's bounds after one resize step with the pointer moved by
// `delta` since the press; nothing when the drag is refused (maximised or
// full screen, or the top strip in the host layout). An edge that would pass
// the minimum size stops there, the opposite edge staying put.
std::optional<QRect> ResizeByBorder(BorderControl control, const QRect& bounds, QPoint delta, WindowLayout layout,
                                    bool maximized, QSize minimum = MinimumViewerWindow);

// Where a drag by the caption or the tab strip puts the window's top-left
// corner, `wanted` being the pointer's position minus its offset inside the
// window at the press. Host layout: each axis moves only if the window then
// lies wholly on the primary screen on that axis. Viewer layout: anywhere.
// Nothing while the viewer window is maximised or full screen.
std::optional<QPoint> DragWindow(WindowLayout layout, bool maximized, const QRect& bounds, QPoint wanted,
                                 const QRect& primaryScreen);

// The inputs of SetWindowPositions.
struct WindowPositionsInput {
    WindowLayout Layout = WindowLayout::Host;
    bool Maximized = false;
    bool Collapsed = false;
    QRect MasterModeWindowRect;  // viewer bounds when not maximised
    QRect WorkArea;              // the primary screen's work area
    int CaptionBarHeight = 0;
    int TopStripHeight = 0;
    int HostPanelHeight = 0;
};

// What the restore/maximise or collapse button shows.
enum class CaptionPicture { Maximize, Restore, Collapse, Expand };

struct WindowPositions {
    // Viewer layout: the window's bounds.
    std::optional<QRect> Bounds;
    // Host layout: the client height, and the top the window moves to.
    std::optional<int> ClientHeight;
    std::optional<int> Top;
    CaptionPicture Picture = CaptionPicture::Maximize;
    // Viewer layout: refresh the status controls, lay out the picture again
    // and repaint the panel's background.
    bool RefitPicture = false;
};

WindowPositions SetWindowPositions(const WindowPositionsInput& in);

}  // namespace corvala
