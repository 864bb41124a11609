#include "window/WindowGeometry.h"

#include <algorithm>

namespace corvala {

namespace {

// Which edges a control moves: -1 the left/top edge, +1 the right/bottom
// edge, 0 none.
struct Edges {
    int horizontal;
    int vertical;
};

Edges EdgesOf(BorderControl control) {
    switch (control) {
        case BorderControl::Left: return {-1, 0};
        case BorderControl::Right: return {1, 0};
        case BorderControl::Bottom: return {0, 1};
        case BorderControl::Top: return {0, -1};
        case BorderControl::TopLeft: return {-1, -1};
        case BorderControl::TopRight: return {1, -1};
        case BorderControl::BottomLeft: return {-1, 1};
        case BorderControl::BottomRight: return {1, 1};
    }
    return {0, 0};
}

// One axis: start and length of the window after moving one of its edges by d.
void MoveEdge(int edge, int d, int minimum, int& start, int& length) {
    if (edge > 0) {
        length = std::max(minimum, length + d);
    } else if (edge < 0) {
        const int end = start + length;
        length = std::max(minimum, length - d);
        start = end - length;
    }
}

}  // namespace

std::optional<QRect> ResizeByBorder(BorderControl control, const QRect& bounds, QPoint delta, WindowLayout layout,
                                    bool maximized, QSize minimum) {
    if (maximized) return std::nullopt;
    if (control == BorderControl::Top && layout != WindowLayout::Viewer) return std::nullopt;
    const Edges edges = EdgesOf(control);
    int left = bounds.left(), width = bounds.width();
    int top = bounds.top(), height = bounds.height();
    MoveEdge(edges.horizontal, delta.x(), std::min(minimum.width(), width), left, width);
    MoveEdge(edges.vertical, delta.y(), std::min(minimum.height(), height), top, height);
    return QRect(left, top, width, height);
}

std::optional<QPoint> DragWindow(WindowLayout layout, bool maximized, const QRect& bounds, QPoint wanted,
                                 const QRect& primaryScreen) {
    if (layout == WindowLayout::Viewer) {
        if (maximized) return std::nullopt;
        return wanted;
    }
    QPoint to = bounds.topLeft();
    const auto fits = [](int start, int length, int screenStart, int screenLength) {
        return start >= screenStart && start + length < screenStart + screenLength;
    };
    if (fits(wanted.x(), bounds.width(), primaryScreen.left(), primaryScreen.width())) to.setX(wanted.x());
    if (fits(wanted.y(), bounds.height(), primaryScreen.top(), primaryScreen.height())) to.setY(wanted.y());
    return to;
}

WindowPositions SetWindowPositions(const WindowPositionsInput& in) {
    WindowPositions out;
    if (in.Layout == WindowLayout::Viewer) {
        out.Bounds = in.Maximized ? in.WorkArea : in.MasterModeWindowRect;
        out.Picture = in.Maximized ? CaptionPicture::Restore : CaptionPicture::Maximize;
        out.RefitPicture = true;
        return out;
    }
    if (in.Collapsed) {
        out.ClientHeight = in.CaptionBarHeight + in.TopStripHeight;
        out.Picture = CaptionPicture::Expand;
        out.Top = 1;
    } else {
        out.ClientHeight = in.HostPanelHeight + in.CaptionBarHeight + in.TopStripHeight;
        out.Picture = CaptionPicture::Collapse;
    }
    return out;
}

}  // namespace corvala
