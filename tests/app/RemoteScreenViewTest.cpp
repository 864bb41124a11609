// The remote picture of a host with two monitors side by side: the monitor
// chosen in the monitor menu is the part of the frame drawn, laid out anew
// for its size; a frame that is not the whole reported desktop is drawn
// whole whatever the choice.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/RemoteScreenView.h"
#include "fakes/QtTestApplication.h"
#include "media/RtcClientPort.h"

namespace corvala {
namespace {

constexpr QRgb Red = 0xFFD02020;
constexpr QRgb Blue = 0xFF2020D0;

// Monitor 1: 1920x1080 at (0, 0), red; monitor 2: 1280x1024 at (1920, 0), blue.
class TwoMonitorHost : public ::testing::Test {
protected:
    void SetUp() override {
        rtc.SetActive(true);
        peer = rtc.AddPeer("111222333", 0);
        rtc.SetCurrentViewingPeerID("111222333");
        peer->DesktopWidth = 3200;
        peer->DesktopHeight = 1080;
        peer->MultipleMonitorsCount = 2;
        peer->MultipleMonitors = {{true, 0, 0, 1920, 1080}, {false, 1920, 0, 1280, 1024}};
        view.resize(1000, 700);
    }
    void TearDown() override {
        rtc.EndCall("111222333");
        rtc.SetActive(false);
    }

    void Frame(int width, int height) {
        peer->FFrameWidth = width;
        peer->FFrameHeight = height;
        rtc.SetRemoteFrameSize(width, height);
        std::vector<QRgb> pixels(std::size_t(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) pixels[std::size_t(y) * width + x] = x < 1920 ? Red : Blue;
        rtc.DrawVideo(true, reinterpret_cast<const uint8_t*>(pixels.data()));
    }

    QRgb Middle() const {
        const QImage& picture = view.Picture();
        return picture.pixel(picture.width() / 2, picture.height() / 2) | 0xFF000000;
    }

    TWebRtcClientVcl rtc{QString(), true};
    TWebRtcClientPort port{rtc};
    std::shared_ptr<TPeer> peer;
    TRemoteScreenView view;
};

TEST_F(TwoMonitorHost, TheChosenMonitorIsDrawnAndLaidOutForItsSize) {
    Frame(3200, 1080);
    view.DrawRemoteFrame(port);
    EXPECT_EQ(view.Picture().size(), QSize(1000, 562));  // 1920x1080 fitted, 562.5 rounded to even
    EXPECT_EQ(Middle(), Red);

    peer->CurrentMonitor = 1;
    view.DrawRemoteFrame(port);
    EXPECT_EQ(view.Picture().size(), QSize(875, 700));  // 1280x1024 fitted
    EXPECT_EQ(view.PictureOrigin(), QPoint(62, 0));  // 62.5 rounded to even
    EXPECT_EQ(Middle(), Blue);
    EXPECT_EQ(view.Picture().pixel(5, 5) | 0xFF000000, Blue) << "nothing of monitor 1 in monitor 2's picture";
}

TEST_F(TwoMonitorHost, AFrameThatIsNotTheWholeDesktopIsDrawnWhole) {
    peer->CurrentMonitor = 1;
    Frame(2560, 1080);
    view.DrawRemoteFrame(port);
    EXPECT_EQ(view.Picture().size(), QSize(1000, 422));
    EXPECT_EQ(view.Picture().pixel(5, 200) | 0xFF000000, Red);
    EXPECT_EQ(view.Picture().pixel(995, 200) | 0xFF000000, Blue);
}

}  // namespace
}  // namespace corvala
