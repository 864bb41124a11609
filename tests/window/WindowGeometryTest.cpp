// Resizing by the border controls, dragging in both layouts and the bounds
// SetWindowPositions gives each layout.

#include <gtest/gtest.h>

#include "window/WindowGeometry.h"

namespace corvala {
namespace {

const QRect Start(100, 50, 800, 600);
const QPoint Delta(30, -20);

struct ResizeCase {
    const char* name;
    BorderControl control;
    QRect expected;
};

TEST(ResizeByBorder, EachControlMovesItsOwnEdges) {
    const ResizeCase cases[] = {
        {"left strip", BorderControl::Left, QRect(130, 50, 770, 600)},
        {"right strip", BorderControl::Right, QRect(100, 50, 830, 600)},
        {"bottom strip", BorderControl::Bottom, QRect(100, 50, 800, 580)},
        {"top strip", BorderControl::Top, QRect(100, 30, 800, 620)},
        {"top-left corner", BorderControl::TopLeft, QRect(130, 30, 770, 620)},
        {"top-right corner", BorderControl::TopRight, QRect(100, 30, 830, 620)},
        {"bottom-left corner", BorderControl::BottomLeft, QRect(130, 50, 770, 580)},
        {"bottom-right corner", BorderControl::BottomRight, QRect(100, 50, 830, 580)},
    };
    for (const auto& c : cases) {
        const auto r = ResizeByBorder(c.control, Start, Delta, WindowLayout::Viewer, false);
        ASSERT_TRUE(r) << c.name;
        EXPECT_EQ(*r, c.expected) << c.name;
        // The edges the control does not hold stay where they were.
        if (r->left() != Start.left()) {
            EXPECT_EQ(r->right(), Start.right()) << c.name;
        }
        if (r->top() != Start.top()) {
            EXPECT_EQ(r->bottom(), Start.bottom()) << c.name;
        }
    }
}

TEST(ResizeByBorder, RefusedWhileMaximisedOrFullScreenForEveryControl) {
    for (BorderControl control : {BorderControl::Left, BorderControl::Right, BorderControl::Bottom, BorderControl::Top,
                                  BorderControl::TopLeft, BorderControl::TopRight, BorderControl::BottomLeft,
                                  BorderControl::BottomRight})
        EXPECT_FALSE(ResizeByBorder(control, Start, Delta, WindowLayout::Viewer, true)) << int(control);
}

TEST(ResizeByBorder, TopStripResizesOnlyTheViewerLayout) {
    EXPECT_FALSE(ResizeByBorder(BorderControl::Top, Start, Delta, WindowLayout::Host, false));
    EXPECT_TRUE(ResizeByBorder(BorderControl::Bottom, Start, Delta, WindowLayout::Host, false));
}

TEST(ResizeByBorder, DragPastTheOppositeEdgeStopsAtTheMinimumWithThatEdgeKept) {
    // The left strip dragged 2000 pixels right: the right edge stays.
    const auto left = ResizeByBorder(BorderControl::Left, Start, {2000, 0}, WindowLayout::Viewer, false);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->width(), MinimumViewerWindow.width());
    EXPECT_EQ(left->right(), Start.right());
    // The bottom-right corner dragged far up and left.
    const auto corner = ResizeByBorder(BorderControl::BottomRight, Start, {-5000, -5000}, WindowLayout::Viewer, false);
    ASSERT_TRUE(corner);
    EXPECT_EQ(corner->size(), MinimumViewerWindow);
    EXPECT_EQ(corner->topLeft(), Start.topLeft());
}

TEST(DragWindow, HostLayoutStaysOnThePrimaryScreenPerAxis) {
    const QRect screen(0, 0, 1280, 800);
    const QRect window(100, 100, 400, 300);
    struct Case {
        const char* name;
        QPoint wanted;
        QPoint expected;
    } cases[] = {
        {"inside", {200, 150}, {200, 150}},
        {"off the left: only y moves", {-1, 150}, {100, 150}},
        {"off the right: only y moves", {880, 150}, {100, 150}},
        {"last pixel column kept free", {879, 150}, {879, 150}},
        {"off the top: only x moves", {200, -5}, {200, 100}},
        {"off the bottom: only x moves", {200, 500}, {200, 100}},
        {"off both axes: stays", {-10, 600}, {100, 100}},
    };
    for (const auto& c : cases) {
        const auto to = DragWindow(WindowLayout::Host, false, window, c.wanted, screen);
        ASSERT_TRUE(to) << c.name;
        EXPECT_EQ(*to, c.expected) << c.name;
    }
}

TEST(DragWindow, ViewerLayoutMovesAnywhereUnlessMaximised) {
    const QRect screen(0, 0, 1280, 800);
    const QRect window(100, 100, 900, 700);
    EXPECT_EQ(DragWindow(WindowLayout::Viewer, false, window, {-300, 700}, screen), QPoint(-300, 700));
    EXPECT_FALSE(DragWindow(WindowLayout::Viewer, true, window, {-300, 700}, screen));
}

TEST(SetWindowPositions, EachLayoutAndState) {
    WindowPositionsInput in;
    in.MasterModeWindowRect = QRect(40, 60, 1000, 700);
    in.WorkArea = QRect(0, 0, 1280, 770);
    in.CaptionBarHeight = 32;
    in.TopStripHeight = 1;
    in.HostPanelHeight = 280;

    in.Layout = WindowLayout::Viewer;
    in.Maximized = false;
    auto out = SetWindowPositions(in);
    EXPECT_EQ(out.Bounds, in.MasterModeWindowRect);
    EXPECT_EQ(out.Picture, CaptionPicture::Maximize);
    EXPECT_TRUE(out.RefitPicture);

    in.Maximized = true;
    out = SetWindowPositions(in);
    EXPECT_EQ(out.Bounds, in.WorkArea);
    EXPECT_EQ(out.Picture, CaptionPicture::Restore);

    in.Layout = WindowLayout::Host;
    in.Collapsed = true;
    out = SetWindowPositions(in);
    EXPECT_FALSE(out.Bounds);
    EXPECT_EQ(out.ClientHeight, 33);
    EXPECT_EQ(out.Top, 1);
    EXPECT_EQ(out.Picture, CaptionPicture::Expand);

    in.Collapsed = false;
    out = SetWindowPositions(in);
    EXPECT_EQ(out.ClientHeight, 313);
    EXPECT_FALSE(out.Top);
    EXPECT_EQ(out.Picture, CaptionPicture::Collapse);
}

}  // namespace
}  // namespace corvala
