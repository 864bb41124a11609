// The component's own logic, made without the media library (the design-time
// form makes no engine call): defaults, end points, the peer table, events
// and their Senders, the rewriting it applies, and the frame pictures.
#include "media/WebrtcClientVcl.h"

#include <gtest/gtest.h>

#include <QColor>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace corvala {
namespace {

class Component : public testing::Test {
protected:
    TWebRtcClientVcl rtc{QString(), /*designing=*/true};
};

TEST_F(Component, PublishedPropertiesStartWithTheirDefaults)
{
    EXPECT_EQ(rtc.VideoConstraints.MaxWidth, 0);
    EXPECT_EQ(rtc.VideoConstraints.MaxHeight, 0);
    EXPECT_EQ(rtc.VideoConstraints.MaxFramerate, 0);
    EXPECT_EQ(rtc.VideoConstraints.MinFramerate, 0);
    EXPECT_TRUE(rtc.PeerConnectionConstraints.ReceiveAudio);
    EXPECT_TRUE(rtc.PeerConnectionConstraints.ReceiveVideo);
    EXPECT_TRUE(rtc.PeerConnectionConstraints.DtlsSrtpKeyAgreement);
    EXPECT_TRUE(rtc.IceServers.isEmpty());
    EXPECT_TRUE(rtc.Vp8HardwareAcceleration);
    EXPECT_EQ(rtc.VideoCodec, TVideoCodec::VP8);
    EXPECT_EQ(rtc.AudioCodec, TAudioCodec::OPUS);
    EXPECT_EQ(rtc.VideoBitrate, 0);
    EXPECT_EQ(rtc.AudioBitrate, 0);
    EXPECT_TRUE(rtc.VideoCallEnabled);
    EXPECT_TRUE(rtc.AudioCallEnabled);
    EXPECT_TRUE(rtc.LocalAudioFile.isEmpty());
    EXPECT_FALSE(rtc.Active());
    EXPECT_EQ(rtc.CameraId, 0);
    EXPECT_TRUE(rtc.CurrentViewingPeerID().isEmpty());
    EXPECT_EQ(rtc.Peers.Count(), 0);
}

TEST_F(Component, EndPointsRunOutAtAThousandAndComeBackLowestFirst)
{
    rtc.SetActive(true);
    EXPECT_EQ(rtc.FindEndPoint(), 0);
    for (int i = 0; i < TWebRtcClientVcl::kEndPointCount; ++i)
        rtc.AddPeer(QString::number(100000000 + i), rtc.FindEndPoint());
    EXPECT_EQ(rtc.FindEndPoint(), 1000);
    EXPECT_THROW(rtc.AddPeer("999999999", rtc.FindEndPoint()), std::logic_error);
    EXPECT_EQ(rtc.Peers.Count(), 1000);

    rtc.EndCall("100000500");
    rtc.EndCall("100000007");
    EXPECT_EQ(rtc.FindEndPoint(), 7);
    EXPECT_EQ(rtc.AddPeer("999999999", 7)->EndPoint(), 7);
    EXPECT_EQ(rtc.FindEndPoint(), 500);

    rtc.SetActive(false);
    EXPECT_EQ(rtc.Peers.Count(), 0);
    EXPECT_EQ(rtc.FindEndPoint(), 0);
}

TEST_F(Component, AddPeerRefusesATakenIdOrSlotAndKeepsTheOldPeer)
{
    EXPECT_THROW(rtc.AddPeer("123456789", 0), std::logic_error);  // not active
    rtc.SetActive(true);
    const auto first = rtc.AddPeer("123456789", 0);
    EXPECT_THROW(rtc.AddPeer("123456789", 1), std::logic_error);
    EXPECT_THROW(rtc.AddPeer("987654321", 0), std::logic_error);
    EXPECT_EQ(rtc.Peers.Find("123456789"), first);
    EXPECT_EQ(rtc.Peers.Count(), 1);
    EXPECT_EQ(rtc.FindEndPoint(), 1);
}

TEST_F(Component, PeerEventsCarryThePeerAsSender)
{
    std::vector<std::pair<TPeer*, TWebrtcState>> states;
    std::vector<TPeer*> removed;
    rtc.OnStatusChanged = [&](TPeer* sender, TWebrtcState s) { states.emplace_back(sender, s); };
    rtc.OnRemoveRemoteStream = [&](TPeer* sender) {
        // The ID is free again as soon as the peer is being closed, so a
        // reconnect may make a new peer for it right away.
        EXPECT_FALSE(rtc.Peers.Contains(sender->Id()));
        removed.push_back(sender);
    };
    rtc.SetActive(true);
    const auto a = rtc.AddPeer("111111111", rtc.FindEndPoint());
    const auto b = rtc.AddPeer("222222222", rtc.FindEndPoint());
    a->MultipleMonitors = {TPeerMonitor{true, 0, 0, 1920, 1080}, TPeerMonitor{false, 1920, 0, 1280, 1024}};
    a->MultipleMonitorsCount = 2;
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0], std::make_pair(a.get(), TWebrtcState::CONNECTING));
    EXPECT_EQ(states[1], std::make_pair(b.get(), TWebrtcState::CONNECTING));

    rtc.EndCall("111111111");
    rtc.EndCall("111111111");
    rtc.EndCall("333333333");
    EXPECT_EQ(removed, std::vector<TPeer*>{a.get()});
    EXPECT_FALSE(rtc.Peers.Contains("111111111"));
    EXPECT_TRUE(a->MultipleMonitors.isEmpty());
    EXPECT_EQ(a->MultipleMonitorsCount, 0);

    // Deactivation ends the rest.
    rtc.SetActive(false);
    EXPECT_EQ(removed, (std::vector<TPeer*>{a.get(), b.get()}));
    EXPECT_TRUE(a->FClosed && b->FClosed);
}

TEST_F(Component, UnknownPeerIdIsAnErrorForEveryPeerOperation)
{
    rtc.SetActive(true);
    rtc.AddPeer("123456789", 0);
    EXPECT_FALSE(rtc.AddIceCandidate("555555555", "0", 0, "candidate:1 1 UDP 1 127.0.0.1 9 typ host"));
    EXPECT_FALSE(rtc.SetRemoteSDP("555555555", "offer", "v=0\r\n"));
    EXPECT_FALSE(rtc.CreateAnswer("555555555", "offer", "v=0\r\n"));
    EXPECT_FALSE(rtc.CreateOffer("555555555"));
    EXPECT_FALSE(rtc.GetStats("555555555"));
    EXPECT_TRUE(rtc.AddIceCandidate("123456789", "0", 0, "candidate:1 1 UDP 1 127.0.0.1 9 typ host"));
}

TEST_F(Component, FileAudioSourceIsRememberedForTheNextActivation)
{
    rtc.SetAudioSource(TWebRtcClientVcl::kAudioSourceFile);
    EXPECT_EQ(rtc.AudioSourceIndex(), 10000);
    rtc.SetAudioSource(2);
    EXPECT_EQ(rtc.AudioSourceIndex(), 2);
}

// Which rewriting each description gets for each property setting.
struct RewriteCase {
    const char* name;
    TVideoCodec video;
    TAudioCodec audio;
    bool videoCall;
    int videoBitrate;
    int audioBitrate;
    const char* remote;  // expected text of a received description
    const char* local;   // expected text of one the engine made
};

const char* const kDescription =
    "v=0\n"
    "m=audio 9 UDP/TLS/RTP/SAVPF 111 103\n"
    "a=rtpmap:111 opus/48000/2\n"
    "a=rtpmap:103 ISAC/16000\n"
    "m=video 9 UDP/TLS/RTP/SAVPF 96 100\n"
    "a=rtpmap:96 VP8/90000\n"
    "a=rtpmap:100 H264/90000\n";

const RewriteCase kRewriteCases[] = {
    {"MainFormSettingsPassThrough", TVideoCodec::VP8, TAudioCodec::OPUS, true, 0, 0, kDescription, kDescription},
    {"IsacFirstBothWays", TVideoCodec::VP8, TAudioCodec::ISAC, true, 0, 0,
     "v=0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 103 111\r\na=rtpmap:111 opus/48000/2\r\na=rtpmap:103 ISAC/16000\r\n"
     "m=video 9 UDP/TLS/RTP/SAVPF 96 100\r\na=rtpmap:96 VP8/90000\r\na=rtpmap:100 H264/90000\r\n",
     "v=0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 103 111\r\na=rtpmap:111 opus/48000/2\r\na=rtpmap:103 ISAC/16000\r\n"
     "m=video 9 UDP/TLS/RTP/SAVPF 96 100\r\na=rtpmap:96 VP8/90000\r\na=rtpmap:100 H264/90000\r\n"},
    {"H264OnlyWithVideoCalls", TVideoCodec::H264, TAudioCodec::OPUS, false, 0, 0, kDescription, kDescription},
    {"H264FirstWithVideo", TVideoCodec::H264, TAudioCodec::OPUS, true, 0, 0,
     "v=0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 111 103\r\na=rtpmap:111 opus/48000/2\r\na=rtpmap:103 ISAC/16000\r\n"
     "m=video 9 UDP/TLS/RTP/SAVPF 100 96\r\na=rtpmap:96 VP8/90000\r\na=rtpmap:100 H264/90000\r\n",
     "v=0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 111 103\r\na=rtpmap:111 opus/48000/2\r\na=rtpmap:103 ISAC/16000\r\n"
     "m=video 9 UDP/TLS/RTP/SAVPF 100 96\r\na=rtpmap:96 VP8/90000\r\na=rtpmap:100 H264/90000\r\n"},
    {"BitratesOnlyOnReceivedDescriptions", TVideoCodec::VP8, TAudioCodec::OPUS, true, 500, 32,
     "v=0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 111 103\r\na=rtpmap:111 opus/48000/2\r\n"
     "a=fmtp:111 maxaveragebitrate=32000\r\na=rtpmap:103 ISAC/16000\r\n"
     "m=video 9 UDP/TLS/RTP/SAVPF 96 100\r\na=rtpmap:96 VP8/90000\r\na=fmtp:96 x-google-start-bitrate=500\r\n"
     "a=rtpmap:100 H264/90000\r\na=fmtp:100 x-google-start-bitrate=500\r\n",
     kDescription},
    {"VideoBitrateNeedsVideoCalls", TVideoCodec::VP8, TAudioCodec::OPUS, false, 500, 0, kDescription, kDescription},
};

class RewritePlaces : public testing::TestWithParam<RewriteCase> {};

TEST_P(RewritePlaces, ReceivedAndCreatedDescriptions)
{
    const RewriteCase& c = GetParam();
    TWebRtcClientVcl rtc{QString(), true};
    rtc.VideoCodec = c.video;
    rtc.AudioCodec = c.audio;
    rtc.VideoCallEnabled = c.videoCall;
    rtc.VideoBitrate = c.videoBitrate;
    rtc.AudioBitrate = c.audioBitrate;
    EXPECT_EQ(rtc.RewriteRemoteDescription(kDescription), c.remote);
    EXPECT_EQ(rtc.RewriteLocalDescription(kDescription), c.local);
}

INSTANTIATE_TEST_SUITE_P(Cases, RewritePlaces, testing::ValuesIn(kRewriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A frame with a distinct colour in every pixel, so that any scaling shows.
std::vector<uint32_t> Gradient(int width, int height)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y) * width + x] = 0xff000000u | (x * 37 % 256) << 16 | (y * 53 % 256) << 8 | ((x + y) % 256);
    return pixels;
}

class Frames : public Component {
protected:
    void SetUp() override
    {
        rtc.SetRemoteFrameSize(64, 48);
        pixels = Gradient(64, 48);
        rtc.DrawVideo(true, reinterpret_cast<const uint8_t*>(pixels.data()));
    }
    bool SameAsFrame(const QImage& image) const
    {
        if (image.size() != QSize(64, 48) || image.format() != QImage::Format_RGB32)
            return false;
        return std::memcmp(image.constBits(), pixels.data(), pixels.size() * 4) == 0;
    }
    std::vector<uint32_t> pixels;
};

TEST_F(Frames, SameSizeDestinationGetsAnExactCopyEvenFromAnotherFormat)
{
    QImage dst(64, 48, QImage::Format_RGB32);
    rtc.DrawFrame(0, 0, 0, 0, dst, false);
    EXPECT_TRUE(SameAsFrame(dst));

    QImage other(64, 48, QImage::Format_RGB888);
    rtc.DrawFrame(0, 0, 0, 0, other, false);
    EXPECT_TRUE(SameAsFrame(other));
}

TEST_F(Frames, OnePixelOfDifferenceStretches)
{
    QImage dst(65, 48, QImage::Format_RGB32);
    dst.fill(Qt::black);
    rtc.DrawFrame(0, 0, 0, 0, dst, false);
    EXPECT_EQ(dst.size(), QSize(65, 48));
    // Smoothly scaled: corners keep their colour, the inside is resampled.
    EXPECT_EQ(dst.pixel(0, 0), pixels[0]);
    EXPECT_NE(dst.copy(0, 0, 64, 48), QImage(reinterpret_cast<const uchar*>(pixels.data()), 64, 48, QImage::Format_RGB32));
}

TEST_F(Frames, SourceRectangleIsStretchedOverTheWholeDestination)
{
    QImage dst(40, 40, QImage::Format_RGB32);
    rtc.DrawFrame(10, 10, 20, 20, dst, false);
    ASSERT_EQ(dst.size(), QSize(40, 40));
    // Pixel (10,10) of the frame lands in the top-left corner.
    const QColor expected = QColor::fromRgb(pixels[10 * 64 + 10]);
    const QColor actual = dst.pixelColor(0, 0);
    EXPECT_NEAR(actual.red(), expected.red(), 40);
    EXPECT_NEAR(actual.green(), expected.green(), 60);
}

TEST_F(Frames, LocalAndRemotePicturesAreSeparate)
{
    QImage dst(64, 48, QImage::Format_RGB32);
    dst.fill(Qt::white);
    rtc.DrawFrame(0, 0, 0, 0, dst, true);  // no local frame yet: untouched
    EXPECT_EQ(dst.pixel(5, 5), QColor(Qt::white).rgb());
    EXPECT_TRUE(rtc.LocalFrameSize().isEmpty());
}

// The engine calls a peer's records with `arg` = the peer; these tests make
// the same calls the engine's dispatch thread makes.
class EngineCalls : public Component {
protected:
    void SetUp() override
    {
        rtc.SetActive(true);
        viewed = rtc.AddPeer("111111111", rtc.FindEndPoint());
        other = rtc.AddPeer("222222222", rtc.FindEndPoint());
        rtc.SetCurrentViewingPeerID("111111111");
        rtc.OnRenderFrame = [this](TWebRtcClientVcl* sender, bool local, bool yuv, int rotation, const QString& id) {
            EXPECT_EQ(sender, &rtc);
            EXPECT_FALSE(local || yuv || rotation);
            rendered.push_back(id);
        };
    }
    // The observers below go before the component does: end the peers (and
    // their events) first.
    void TearDown() override { rtc.SetActive(false); }
    void Frame(TPeer& peer, int width, int height)
    {
        const auto pixels = Gradient(width, height);
        TPeer::OnRenderRemoteFrame(&peer, reinterpret_cast<const uint8_t*>(pixels.data()));
    }
    std::shared_ptr<TPeer> viewed, other;
    // Members, not locals: events are raised until TearDown.
    std::vector<QString> rendered;
    std::vector<std::pair<TPeer*, QByteArray>> received;
    std::vector<TPeer*> removed;
};

TEST_F(EngineCalls, RemoteFramesOfOtherPeersAreDroppedBeforeCopying)
{
    TPeer::OnSetRemoteSize(other.get(), 32, 16);
    Frame(*other, 32, 16);
    EXPECT_TRUE(rendered.empty());
    EXPECT_FALSE(other->Alive);

    TPeer::OnSetRemoteSize(viewed.get(), 64, 48);
    Frame(*viewed, 64, 48);
    EXPECT_EQ(rendered, std::vector<QString>{"111111111"});
    EXPECT_TRUE(viewed->Alive);
    EXPECT_EQ(rtc.RemoteFrameSize(), QSize(64, 48));
}

TEST_F(EngineCalls, OnlyTheViewedPeerSizesThePicture)
{
    TPeer::OnSetRemoteSize(viewed.get(), 64, 48);
    TPeer::OnSetRemoteSize(other.get(), 32, 16);
    EXPECT_EQ(rtc.RemoteFrameSize(), QSize(64, 48));
    EXPECT_EQ(other->FFrameWidth, 32);
    EXPECT_EQ(other->FFrameHeight, 16);
}

TEST_F(EngineCalls, FrameOfAnotherSizeThanThePictureResizesItBeforeTheCopy)
{
    TPeer::OnSetRemoteSize(viewed.get(), 64, 48);
    rtc.SetRemoteFrameSize(32, 16);
    Frame(*viewed, 64, 48);
    ASSERT_EQ(rtc.RemoteFrameSize(), QSize(64, 48));
    QImage dst(64, 48, QImage::Format_RGB32);
    rtc.DrawFrame(0, 0, 0, 0, dst, false);
    const auto expected = Gradient(64, 48);
    EXPECT_EQ(std::memcmp(dst.constBits(), expected.data(), expected.size() * 4), 0);
}

TEST_F(EngineCalls, ReceivedBytesArriveAsOneCopyWithThePeerAsSender)
{
    rtc.OnReceiveData = [this](TPeer* sender, const QByteArray& data) { received.emplace_back(sender, data); };
    const uint8_t bytes[] = {'D', 0, 0xff, 'X'};
    TPeer::OnReceiveMessage(other.get(), bytes, 4);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].first, other.get());
    EXPECT_EQ(received[0].second, QByteArray("D\0\xffX", 4));
}

TEST_F(EngineCalls, RemovedRemoteStreamEndsThePeerAndSilencesIt)
{
    rtc.OnRemoveRemoteStream = [this](TPeer* sender) { removed.push_back(sender); };
    rtc.OnReceiveData = [this](TPeer* sender, const QByteArray& data) { received.emplace_back(sender, data); };
    TPeer::OnRemoveStream(other.get(), 0);
    EXPECT_EQ(removed, std::vector<TPeer*>{other.get()});
    EXPECT_FALSE(rtc.Peers.Contains("222222222"));
    EXPECT_EQ(rtc.FindEndPoint(), 1);

    // A late callback of the closed peer is dropped, not raised, and does
    // not end a newer peer of the same ID.
    const auto newer = rtc.AddPeer("222222222", rtc.FindEndPoint());
    const uint8_t byte = 'x';
    TPeer::OnReceiveMessage(other.get(), &byte, 1);
    TPeer::OnRemoveStream(other.get(), 0);
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(removed.size(), 1u);
    EXPECT_EQ(rtc.Peers.Find("222222222"), newer);
}

TEST(PeerDictionary, LateRemovalDoesNotDropANewerPeerOfTheSameId)
{
    TPeerDictionary peers;
    auto older = std::make_shared<TPeer>(nullptr, "1", 0);
    auto newer = std::make_shared<TPeer>(nullptr, "1", 1);
    ASSERT_TRUE(peers.Add("1", older));
    ASSERT_EQ(peers.Remove("1", older.get()), older);
    ASSERT_TRUE(peers.Add("1", newer));
    EXPECT_EQ(peers.Remove("1", older.get()), nullptr);
    EXPECT_EQ(peers.Find("1"), newer);
}

// Engine threads look peers up while the main thread adds and removes them;
// under the sanitizers a peer freed too early or a torn map shows here.
TEST(PeerDictionary, ReadersOnOtherThreadsWhileTheOwnerChangesIt)
{
    TPeerDictionary peers;
    std::atomic<bool> stop{false};
    std::atomic<long> found{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            while (!stop) {
                for (int i = 0; i < 8; ++i) {
                    const QString id = QString::number(i);
                    if (auto peer = peers.Find(id)) {
                        EXPECT_EQ(peer->Id(), id);
                        ++found;
                    }
                }
                for (const auto& peer : peers.Values())
                    EXPECT_FALSE(peer->Id().isEmpty());
                std::this_thread::yield();
            }
        });
    // Goes on until the readers have really met peers, however the threads
    // happen to be scheduled.
    for (long round = 0; round < 4000 || found.load() < 200; ++round) {
        const QString id = QString::number(round % 8);
        if (!peers.Remove(id))
            peers.Add(id, std::make_shared<TPeer>(nullptr, id, round % 8));
    }
    stop = true;
    for (auto& t : readers)
        t.join();
}

// The engine keeps raw pointers to peers in its callback records and calls
// them from its own thread, also while the main thread ends peers, makes new
// ones, switches the viewed peer and draws. Under the sanitizers a peer freed
// under a running callback, or a frame picture torn by a resize, shows here.
TEST(ComponentThreads, EngineCallbacksWhileTheMainThreadEndsAndMakesPeers)
{
    TWebRtcClientVcl rtc{QString(), true};
    std::atomic<int> frames{0};
    std::atomic<int> messages{0};
    rtc.OnRenderFrame = [&](TWebRtcClientVcl*, bool, bool, int, const QString&) { ++frames; };
    rtc.OnReceiveData = [&](TPeer*, const QByteArray&) { ++messages; };
    rtc.SetActive(true);

    std::mutex recordsMutex;
    std::vector<TPeer*> records;  // what the engine was handed
    auto makePeer = [&](const QString& id) {
        TPeer* peer = rtc.AddPeer(id, rtc.FindEndPoint()).get();
        std::lock_guard lock(recordsMutex);
        records.push_back(peer);
    };
    for (int i = 0; i < 4; ++i)
        makePeer(QString::number(i));

    std::atomic<bool> stop{false};
    std::thread engine([&] {
        const auto pixels = Gradient(64, 48);
        const uint8_t message[] = "DISCONNECT";
        for (unsigned n = 0; !stop; ++n) {
            TPeer* peer;
            {
                std::lock_guard lock(recordsMutex);
                // Mostly the newest records: the live peers and the ones
                // closed a moment ago.
                const std::size_t recent = std::min<std::size_t>(records.size(), 8);
                peer = records[records.size() - 1 - n % recent];
            }
            TPeer::OnSetRemoteSize(peer, 64 - (n % 2), 48);
            TPeer::OnRenderRemoteFrame(peer, reinterpret_cast<const uint8_t*>(pixels.data()));
            TPeer::OnReceiveMessage(peer, message, 10);
            if (n % 97 == 0)
                TPeer::OnRemoveStream(peer, 0);
        }
    });

    QImage picture(64, 48, QImage::Format_RGB32);
    for (long round = 0; round < 400 || frames.load() < 50 || messages.load() < 50; ++round) {
        const QString id = QString::number(round % 4);
        rtc.EndCall(id);
        makePeer(id);
        rtc.SetCurrentViewingPeerID(QString::number((round + 1) % 4));
        rtc.DrawFrame(0, 0, 0, 0, picture, false);
    }
    stop = true;
    engine.join();
    rtc.SetActive(false);
    EXPECT_EQ(rtc.Peers.Count(), 0);
    EXPECT_EQ(rtc.FindEndPoint(), 0);
}

} // namespace
} // namespace corvala
