// The remote picture's geometry: which region of a frame is shown, how it is
// fitted into the panel, and how picture points map back to the host.
#include "screen/RemoteViewGeometry.h"
#include "screen/Rounding.h"

#include <gtest/gtest.h>

#include <limits>

namespace corvala {
namespace {

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(2.5001), 3);
    EXPECT_EQ(RoundHalfEven(1e12), std::numeric_limits<int>::max());
    EXPECT_EQ(RoundHalfEven(-1e12), std::numeric_limits<int>::min());
}

struct FitCase {
    const char* name;
    int width, height, panelWidth, panelHeight;
    PictureLayout expected;
};

class Fit : public testing::TestWithParam<FitCase> {};

TEST_P(Fit, IsCentredAndNeverEnlarged) {
    const FitCase& c = GetParam();
    const auto layout = FitPicture(c.width, c.height, c.panelWidth, c.panelHeight);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(*layout, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Fit, testing::Values(
    // Fits: shown unscaled in the middle.
    FitCase{"SmallFrameUnscaledCentred", 1280, 720, 1920, 1000, {320, 140, 1280, 720}},
    // r = 1.6 >= 1000/701: full width, 1000/1.6 = 625 high, top round(350.5 - 312.5) = 38.
    FitCase{"WideFrameTakesFullWidth", 1920, 1200, 1000, 701, {0, 38, 1000, 625}},
    // Taller than the panel's ratio: full height, width round(0.5625 * 500) = 281 (281.25).
    FitCase{"TallFrameTakesFullHeight", 1080, 1920, 1000, 500, {360, 0, 281, 500}},
    // Exactly the panel size: unscaled at the origin.
    FitCase{"ExactFit", 800, 600, 800, 600, {0, 0, 800, 600}},
    // Too high only: scaled although the width would fit.
    FitCase{"TooHighOnly", 400, 1000, 1000, 500, {400, 0, 200, 500}},
    // Left = round(501/2 - 100/2) = round(200.5) = 200 (half to even), top = round(150.5) = 150.
    FitCase{"HalfPixelOffsetsRoundToEven", 100, 100, 501, 401, {200, 150, 100, 100}},
    // Width = round(1.5 * 3) = round(4.5) = 4 (half to even), not 5.
    FitCase{"HalfPixelSizeRoundsToEven", 300, 200, 100, 3, {48, 0, 4, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Fit, EmptyRegionHasNoLayout) {
    EXPECT_FALSE(FitPicture(0, 720, 1920, 1000));
    EXPECT_FALSE(FitPicture(1280, -1, 1920, 1000));
}

TEST(Fit, CollapsedPanelKeepsTheLayoutInsteadOfDividingByZero) {
    EXPECT_FALSE(FitPicture(1280, 720, 1000, 0));
    EXPECT_FALSE(FitPicture(1280, 720, 0, 700));
}

// Two monitors 1920x1080 at (0,0) and 1280x1024 at (1920,0); frame 3200x1080.
PeerGeometry TwoMonitorHost(int frameWidth = 3200, int frameHeight = 1080, int current = 1) {
    PeerGeometry g;
    g.FrameWidth = frameWidth;
    g.FrameHeight = frameHeight;
    g.DesktopWidth = 3200;
    g.DesktopHeight = 1080;
    g.MultipleMonitorsCount = 2;
    g.MultipleMonitors = {TPeerMonitor{true, 0, 0, 1920, 1080}, TPeerMonitor{false, 1920, 0, 1280, 1024}};
    g.CurrentMonitor = current;
    return g;
}

TEST(MonitorRegion, SecondMonitorIsCutFromX1920) {
    const MonitorRegion r = RegionOf(TwoMonitorHost());
    EXPECT_TRUE(r.Cropped);
    EXPECT_EQ(r, (MonitorRegion{true, 1920, 0, 1280, 1024, {}}));
}

TEST(MonitorRegion, ChoosingAnotherMonitorLaysThePictureOutAnew) {
    PeerGeometry host = TwoMonitorHost(3200, 1080, 0);
    int lastWidth = 0, lastHeight = 0;
    FramePlan first = PlanFrameDraw(host, lastWidth, lastHeight);
    EXPECT_TRUE(first.SizeChanged);
    EXPECT_FALSE(PlanFrameDraw(host, lastWidth, lastHeight).SizeChanged);  // same region: no layout
    host.CurrentMonitor = 1;
    FramePlan second = PlanFrameDraw(host, lastWidth, lastHeight);
    EXPECT_TRUE(second.SizeChanged);
    EXPECT_EQ(lastWidth, 1280);
    EXPECT_EQ(lastHeight, 1024);
    EXPECT_EQ(second.Region.Left, 1920);
    EXPECT_EQ(*FitRemoteScreen(host, 1920, 1000),
              (PictureLayout{RoundHalfEven(960 - 1250.0 / 2), 0, 1250, 1000}));
}

TEST(MonitorRegion, OffsetsAreMeasuredFromTheDesktopsCorner) {
    // A monitor left of the primary: the desktop starts at x -1280.
    PeerGeometry g = TwoMonitorHost();
    g.DesktopLeft = -1280;
    g.MultipleMonitors = {TPeerMonitor{true, 0, 0, 1920, 1080}, TPeerMonitor{false, -1280, 0, 1280, 1024}};
    const MonitorRegion r = RegionOf(g);
    EXPECT_EQ(r.Left, 0);
    g.CurrentMonitor = 0;
    EXPECT_EQ(RegionOf(g).Left, 1280);
}

struct WholeFrameCase {
    const char* name;
    PeerGeometry geometry;
};

class WholeFrame : public testing::TestWithParam<WholeFrameCase> {};

TEST_P(WholeFrame, IsShownWhateverMonitorIsChosen) {
    const MonitorRegion r = RegionOf(GetParam().geometry);
    EXPECT_FALSE(r.Cropped);
    EXPECT_EQ(r, (MonitorRegion{false, 0, 0, GetParam().geometry.FrameWidth, GetParam().geometry.FrameHeight, {}}));
}

PeerGeometry OneMonitor() {
    PeerGeometry g = TwoMonitorHost();
    g.MultipleMonitorsCount = 0;
    g.MultipleMonitors.clear();
    g.CurrentMonitor = 0;
    return g;
}

PeerGeometry MonitorNotReported() {
    PeerGeometry g = TwoMonitorHost();
    g.CurrentMonitor = 5;
    return g;
}

// What a host claims about its monitors is held against the frame it sends.
TEST(MonitorRegion, ClaimsBeyondTheFrameAreClippedToIt) {
    struct Case {
        const char* name;
        TPeerMonitor monitor;
        MonitorRegion expected;
    } cases[] = {
        {"huge monitor over a small frame", {false, 0, 0, 8000, 8000}, {true, 0, 0, 64, 48, {}}},
        {"monitor reaching past the right edge", {false, 40, 10, 100, 100}, {true, 40, 10, 24, 38, {}}},
        {"monitor starting left of the frame", {false, -30, 0, 50, 48}, {true, 0, 0, 20, 48, {}}},
        {"monitor wholly outside: the whole frame", {false, 500, 500, 10, 10}, {false, 0, 0, 64, 48, {}}},
        {"offsets at the integer's ends", {false, std::numeric_limits<int>::max(), 0, std::numeric_limits<int>::max(), 48},
         {false, 0, 0, 64, 48, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeerGeometry g;
        g.FrameWidth = g.DesktopWidth = 64;
        g.FrameHeight = g.DesktopHeight = 48;
        g.MultipleMonitorsCount = 2;
        g.MultipleMonitors = {c.monitor, TPeerMonitor{true, 0, 0, 64, 48}};
        g.CurrentMonitor = 0;
        EXPECT_EQ(RegionOf(g), c.expected);
        // Every point of the picture maps somewhere without overflowing.
        EXPECT_GE(MapX(g, {64, 48}, 63), 0);
    }
}

TEST(Mapping, HugeDesktopOffsetsSaturateInsteadOfOverflowing) {
    PeerGeometry g = TwoMonitorHost();
    g.DesktopLeft = std::numeric_limits<int>::max();
    g.MultipleMonitors[1].Left = std::numeric_limits<int>::max();
    EXPECT_EQ(MapX(g, {1280, 1024}, 1279), std::numeric_limits<int>::max());
}

INSTANTIATE_TEST_SUITE_P(Cases, WholeFrame, testing::Values(
    WholeFrameCase{"FrameSmallerThanDesktop", TwoMonitorHost(1600, 540)},
    WholeFrameCase{"FrameWidthOnlyMatches", TwoMonitorHost(3200, 1024)},
    WholeFrameCase{"SingleMonitor", OneMonitor()},
    WholeFrameCase{"ChosenMonitorNotInTheList", MonitorNotReported()}),
    [](const auto& info) { return std::string(info.param.name); });

struct MapCase {
    const char* name;
    PeerGeometry geometry;
    SceneSize scene;
    int x, y;
    int hostX, hostY;
};

class Mapping : public testing::TestWithParam<MapCase> {};

TEST_P(Mapping, PicturePointReachesTheHostPosition) {
    const MapCase& c = GetParam();
    EXPECT_EQ(MapX(c.geometry, c.scene, c.x), c.hostX);
    EXPECT_EQ(MapY(c.geometry, c.scene, c.y), c.hostY);
}

PeerGeometry Single(int frameWidth, int frameHeight, int desktopWidth, int desktopHeight) {
    PeerGeometry g;
    g.FrameWidth = frameWidth;
    g.FrameHeight = frameHeight;
    g.DesktopWidth = desktopWidth;
    g.DesktopHeight = desktopHeight;
    return g;
}

PeerGeometry LeftOfPrimary() {
    PeerGeometry g = TwoMonitorHost(3200, 1080, 1);
    g.DesktopLeft = -1280;
    g.MultipleMonitors = {TPeerMonitor{true, 0, 0, 1920, 1080}, TPeerMonitor{false, -1280, 0, 1280, 1024}};
    return g;
}

INSTANTIATE_TEST_SUITE_P(Cases, Mapping, testing::Values(
    // Unscaled: the picture is the desktop.
    MapCase{"Unscaled", Single(1280, 720, 1280, 720), {1280, 720}, 100, 200, 100, 200},
    // 1920x1200 shown 1000x625: factor 1.92; 1.92 * 500 = 960.
    MapCase{"ScaledDown", Single(1920, 1200, 1920, 1200), {1000, 625}, 500, 312, 960, 599},
    // Half-way points round to even: 1.5 * 1 = 1.5 -> 2, 1.5 * 3 = 4.5 -> 4.
    MapCase{"HalvesToEven", Single(300, 300, 300, 300), {200, 200}, 1, 3, 2, 4},
    // No desktop size reported: the frame size scales.
    MapCase{"FrameSizeWithoutDesktop", Single(1600, 900, 0, 0), {800, 450}, 400, 225, 800, 450},
    // Second monitor: scaled to the monitor, plus its Left.
    MapCase{"CroppedSecondMonitor", TwoMonitorHost(), {1280, 1024}, 10, 20, 1930, 20},
    MapCase{"CroppedScaled", TwoMonitorHost(), {640, 512}, 320, 256, 1920 + 640, 512},
    // Monitor offsets are added as reported, not reduced by DesktopLeft.
    MapCase{"MonitorLeftOfPrimary", LeftOfPrimary(), {1280, 1024}, 0, 0, -1280, 0},
    // Frames that do not match the desktop: whole desktop, no monitor offsets.
    MapCase{"MismatchedFrameUsesWholeDesktop", TwoMonitorHost(1600, 540), {1600, 540}, 800, 270, 1600, 540},
    // No picture laid out yet.
    MapCase{"NoPicture", Single(1280, 720, 1280, 720), {0, 0}, 100, 200, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvala
