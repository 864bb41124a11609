// Costs of the media binding's per-frame and per-description work: the SDP
// rewriting, the copy of a remote frame into the component's picture, and
// DrawFrame as block copy versus smooth scaling.
#include "media/SdpRewriting.h"
#include "media/WebrtcClientVcl.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <string>
#include <vector>

namespace {

using namespace corvala;

// A description of the size the engine makes: audio, video and data.
std::string RealisticDescription()
{
    std::string sdp = "v=0\r\no=- 1 0 IN IP4 0.0.0.0\r\ns=-\r\nt=0 0\r\na=group:BUNDLE 0 1 2\r\n";
    sdp += "m=audio 9 UDP/TLS/RTP/SAVPF 111 103 9 0 8\r\n";
    for (int i = 0; i < 20; ++i)
        sdp += "a=candidate:" + std::to_string(i) + " 1 UDP 2122260223 127.0.0.1 " + std::to_string(40000 + i) + " typ host\r\n";
    sdp += "a=rtpmap:111 opus/48000/2\r\na=fmtp:111 minptime=10;useinbandfec=1\r\na=rtpmap:103 ISAC/16000\r\n";
    sdp += "m=video 9 UDP/TLS/RTP/SAVPF 96 98 100 127\r\n";
    sdp += "a=rtpmap:96 VP8/90000\r\na=rtpmap:98 VP9/90000\r\na=rtpmap:100 H264/90000\r\na=rtpmap:127 red/90000\r\n";
    sdp += "m=application 9 UDP/DTLS/SCTP webrtc-datachannel\r\na=sctp-port:5000\r\n";
    return sdp;
}

void BM_PreferCodecNothingToDo(benchmark::State& state)
{
    const std::string sdp = RealisticDescription();
    for (auto _ : state)
        benchmark::DoNotOptimize(PreferCodec(sdp, "AV1", false));
}
BENCHMARK(BM_PreferCodecNothingToDo);

void BM_PreferCodecH264(benchmark::State& state)
{
    const std::string sdp = RealisticDescription();
    for (auto _ : state)
        benchmark::DoNotOptimize(PreferCodec(sdp, "H264", false));
}
BENCHMARK(BM_PreferCodecH264);

void BM_SetCodecBitrateOpus(benchmark::State& state)
{
    const std::string sdp = RealisticDescription();
    for (auto _ : state)
        benchmark::DoNotOptimize(SetCodecBitrate("opus", false, 32, sdp));
}
BENCHMARK(BM_SetCodecBitrateOpus);

// One remote frame through the engine's callback path: viewed-peer check,
// copy under the frame lock, event.
void BM_RemoteFrame1080p(benchmark::State& state)
{
    TWebRtcClientVcl rtc{QString(), true};
    rtc.SetActive(true);
    auto peer = rtc.AddPeer("111111111", 0);
    rtc.SetCurrentViewingPeerID("111111111");
    TPeer::OnSetRemoteSize(peer.get(), 1920, 1080);
    std::vector<uint32_t> pixels(1920 * 1080, 0xff336699u);
    long frames = 0;
    rtc.OnRenderFrame = [&](TWebRtcClientVcl*, bool, bool, int, const QString&) { ++frames; };
    for (auto _ : state)
        TPeer::OnRenderRemoteFrame(peer.get(), reinterpret_cast<const uint8_t*>(pixels.data()));
    if (frames != state.iterations())
        state.SkipWithError("frames were dropped");
    state.SetBytesProcessed(state.iterations() * pixels.size() * 4);
    rtc.SetActive(false);
}
BENCHMARK(BM_RemoteFrame1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

void DrawFrameInto(benchmark::State& state, int width, int height)
{
    TWebRtcClientVcl rtc{QString(), true};
    rtc.SetRemoteFrameSize(1920, 1080);
    std::vector<uint32_t> pixels(1920 * 1080);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xff000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    rtc.DrawVideo(true, reinterpret_cast<const uint8_t*>(pixels.data()));
    QImage dst(width, height, QImage::Format_RGB32);
    for (auto _ : state) {
        rtc.DrawFrame(0, 0, 0, 0, dst, false);
        benchmark::DoNotOptimize(dst.constBits());
    }
}

void BM_DrawFrameCopy1080p(benchmark::State& state) { DrawFrameInto(state, 1920, 1080); }
// Qt scales on several threads: wall time is what a viewer waits.
BENCHMARK(BM_DrawFrameCopy1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawFrameStretch1080pTo720p(benchmark::State& state) { DrawFrameInto(state, 1280, 720); }
BENCHMARK(BM_DrawFrameStretch1080pTo720p)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawFrameStretchOnePixelWider(benchmark::State& state) { DrawFrameInto(state, 1921, 1080); }
BENCHMARK(BM_DrawFrameStretchOnePixelWider)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
