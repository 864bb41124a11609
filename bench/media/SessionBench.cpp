// Figures of one session over the real rt.so, two components in this
// process, in a loopback-only namespace (the end-to-end main re-runs the
// program there): time to the first message and the first frame, frames
// delivered at the viewer, and stop-and-wait data throughput while video
// runs. Prints its figures; run it by hand:
//   CORVALA_ENGINE=<build>/bin/rt.so <build>/bin/media_session_bench
#include "EngineHarness.h"

#include <gtest/gtest.h>
#include "media/WebrtcClientVcl.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

using namespace corvala;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
std::atomic<unsigned> gTick{0};

int Start(void*, int, int, int) { return 1; }
// A bar that moves every frame, on a grey desktop.
int Paint(void*, uint8_t* pixels, int width, int height)
{
    auto* p = reinterpret_cast<uint32_t*>(pixels);
    const int bar = static_cast<int>(gTick++ * 16 % static_cast<unsigned>(width));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[y * width + x] = (x >= bar && x < bar + 64) ? 0xffffffffu : 0xff808080u;
    return 1;
}
void Stop(void*) {}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

} // namespace

TEST(SessionFigures, OneHostOneViewerOverLoopback)
{
    testing_support::Mailbox mailbox;
    TWebRtcClientVcl host{QString()}, viewer{QString()};
    const QString hostId = "111111111", viewerId = "222222222";

    auto wire = [&](TWebRtcClientVcl& self, TWebRtcClientVcl& other, const QString& selfId) {
        self.OnSdpCreateSuccess = [&, selfId](TPeer*, const QString& type, const QString& sdp) {
            mailbox.Post([&other, selfId, type, sdp] {
                if (type == "offer")
                    other.CreateAnswer(selfId, type, sdp);
                else
                    other.SetRemoteSDP(selfId, type, sdp);
            });
        };
        self.OnIceCandidate = [&, selfId](TPeer*, int label, const QString& mid, const QString& line) {
            mailbox.Post([&other, selfId, label, mid, line] { other.AddIceCandidate(selfId, mid, label, line); });
        };
    };
    wire(host, viewer, hostId);
    wire(viewer, host, viewerId);

    std::atomic<long> viewerMessages{0}, hostMessages{0}, frames{0};
    std::atomic<long long> firstFrameAt{0}, firstMessageAt{0};
    const auto t0 = Clock::now();
    auto since = [&] { return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count(); };
    viewer.OnReceiveData = [&](TPeer*, const QByteArray&) {
        long long zero = 0;
        firstMessageAt.compare_exchange_strong(zero, since());
        ++viewerMessages;
        mailbox.Notify();
    };
    host.OnReceiveData = [&](TPeer*, const QByteArray&) { ++hostMessages; mailbox.Notify(); };
    viewer.OnRenderFrame = [&](TWebRtcClientVcl*, bool local, bool, int, const QString&) {
        if (local)
            return;
        long long zero = 0;
        firstFrameAt.compare_exchange_strong(zero, since());
        ++frames;
    };

    host.CameraId = RTC_SOURCE_VIRTUAL;
    host.VideoConstraints = {kWidth, kHeight, 10, 0};
    host.CaptureCallback = VirtualCaptureCallback{nullptr, &Start, &Paint, &Stop};
    viewer.VideoCallEnabled = false;
    viewer.CameraId = RTC_SOURCE_SCREEN;
    host.SetActive(true);
    viewer.SetActive(true);
    viewer.SetCurrentViewingPeerID(hostId);
    auto hostPeer = host.AddPeer(viewerId, 0);
    auto viewerPeer = viewer.AddPeer(hostId, 0);

    const auto offerAt = Clock::now();
    host.CreateOffer(viewerId);
    hostPeer->SendDataToPeer("HELLO");  // queued until the channel opens
    ASSERT_TRUE(mailbox.WaitFor([&] { return viewerMessages > 0 && frames > 0; }, std::chrono::seconds(60)))
        << "session did not come up (messages " << viewerMessages << ", frames " << frames << ")";
    const double setupOffset = Ms(offerAt - t0) * 1000.0;
    std::printf("first data message after the offer request: %.0f ms\n", (firstMessageAt - setupOffset) / 1000.0);
    std::printf("first remote 1920x1080 frame after the offer request: %.0f ms\n", (firstFrameAt - setupOffset) / 1000.0);

    // Frames delivered at 10 fps requested, over 5 s.
    const long before = frames;
    const auto window = Clock::now();
    mailbox.WaitFor([&] { return Clock::now() - window > std::chrono::seconds(5); }, std::chrono::seconds(6));
    std::printf("remote frames per second at 10 requested: %.1f\n",
                (frames - before) / (Ms(Clock::now() - window) / 1000.0));

    // Stop-and-wait: 64 KiB from the host, 2-byte answer from the viewer,
    // for 3 s while the video goes on.
    const QByteArray block(65536, 'x');
    long blocks = 0;
    const auto dataStart = Clock::now();
    while (Clock::now() - dataStart < std::chrono::seconds(3)) {
        const long expect = hostMessages + 1;
        const long seen = viewerMessages;
        hostPeer->SendFileDataToPeer(block);
        if (!mailbox.WaitFor([&] { return viewerMessages > seen; }, std::chrono::seconds(10)))
            break;
        viewerPeer->SendDataToPeer("OK");
        if (!mailbox.WaitFor([&] { return hostMessages >= expect; }, std::chrono::seconds(10)))
            break;
        ++blocks;
    }
    const double seconds = Ms(Clock::now() - dataStart) / 1000.0;
    std::printf("stop-and-wait 64 KiB blocks with video running: %.1f MB/s (%ld blocks)\n",
                blocks * 65536.0 / seconds / 1e6, blocks);

    viewer.SetActive(false);
    host.SetActive(false);
}
