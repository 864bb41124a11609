// Two components connected back to back over the real media library, inside
// a network namespace that has only loopback (the end-to-end main sees to
// that) and with no ICE server at all.
// The test thread plays both main threads and the signalling server.
#include "E2eSupport.h"
#include "EngineHarness.h"
#include "media/MediaLibraryLoader.h"
#include "media/SdpRewriting.h"
#include "media/WebrtcClientVcl.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace corvala {
namespace {

using testing_support::Mailbox;

const QString kHostId = QStringLiteral("111111111");
const QString kViewerId = QStringLiteral("222222222");

// CORVALA_RECORD_SEEDS=FOLDER keeps each description and candidate the real
// engine made, one file each, as seeds for the fuzz targets (fuzz/).
void RecordSeed(const char* kind, const QString& text)
{
    static std::atomic<int> serial{0};
    const QByteArray folder = qgetenv("CORVALA_RECORD_SEEDS");
    if (folder.isEmpty())
        return;
    QFile file(QString::fromUtf8(folder) + "/" + kind + "-" + QString::number(++serial));
    if (file.open(QIODevice::WriteOnly))
        file.write(text.toUtf8());
}

// Everything one side observed, written on engine threads.
struct Observed {
    std::mutex mutex;
    std::vector<std::pair<TPeer*, QString>> sdpTypes;
    std::vector<TPeer*> candidateSenders;
    std::vector<std::pair<TPeer*, QByteArray>> data;
    std::vector<TPeer*> remoteStreams;
    std::vector<TPeer*> removedStreams;
    std::atomic<int> remoteFrames{0};
    std::atomic<int> localFrames{0};
    std::atomic<int> localStreams{0};
    std::vector<QString> frameIds;
    std::atomic<bool> wrongFrameSender{false};
    QString lastOffer;
};

// Frames of the host's program-fed source: left half red, right half blue.
constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;

int StartCapture(void*, int, int, int) { return 1; }
int PaintFrame(void*, uint8_t* pixels, int width, int height)
{
    auto* p = reinterpret_cast<uint32_t*>(pixels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[y * width + x] = x < width / 2 ? 0xffff0000u : 0xff0000ffu;
    return 1;
}
void StopCapture(void*) {}

class BackToBack : public testing::Test {
protected:
    void SetUp() override
    {
        try {
            host = std::make_unique<TWebRtcClientVcl>(QString());
            viewer = std::make_unique<TWebRtcClientVcl>(QString());
        } catch (const MediaLibraryError& e) {
            FAIL() << e.what();
        }
        Wire(*host, hostSeen, *viewer, kHostId);
        Wire(*viewer, viewerSeen, *host, kViewerId);
    }

    void TearDown() override
    {
        // Ends everything while the observers still exist.
        if (viewer)
            viewer->SetActive(false);
        if (host)
            host->SetActive(false);
    }

    // Events of `self` post the signalling work for the other side; `selfId`
    // is the ID under which the other side knows `self`.
    void Wire(TWebRtcClientVcl& self, Observed& seen, TWebRtcClientVcl& other, const QString& selfId)
    {
        self.OnSdpCreateSuccess = [&, selfId](TPeer* sender, const QString& type, const QString& sdp) {
            RecordSeed(type == "offer" ? "offer" : "answer", sdp);
            {
                std::lock_guard lock(seen.mutex);
                seen.sdpTypes.emplace_back(sender, type);
                if (type == "offer")
                    seen.lastOffer = sdp;
            }
            mailbox.Post([&other, selfId, type, sdp] {
                if (type == "offer")
                    other.CreateAnswer(selfId, type, sdp);
                else
                    other.SetRemoteSDP(selfId, type, sdp);
            });
        };
        self.OnIceCandidate = [&, selfId](TPeer* sender, int label, const QString& mid, const QString& line) {
            RecordSeed("candidate", QString::number(label) + " " + mid + " " + line);
            {
                std::lock_guard lock(seen.mutex);
                seen.candidateSenders.push_back(sender);
            }
            mailbox.Post([&other, selfId, label, mid, line] { other.AddIceCandidate(selfId, mid, label, line); });
        };
        self.OnReceiveData = [&](TPeer* sender, const QByteArray& bytes) {
            std::lock_guard lock(seen.mutex);
            seen.data.emplace_back(sender, bytes);
            mailbox.Notify();
        };
        self.OnAddRemoteStream = [&](TPeer* sender) {
            std::lock_guard lock(seen.mutex);
            seen.remoteStreams.push_back(sender);
        };
        self.OnRemoveRemoteStream = [&](TPeer* sender) {
            std::lock_guard lock(seen.mutex);
            seen.removedStreams.push_back(sender);
        };
        self.OnAddLocalStream = [&](TWebRtcClientVcl*) { ++seen.localStreams; };
        self.OnRenderFrame = [&, component = &self](TWebRtcClientVcl* sender, bool local, bool, int, const QString& id) {
            if (sender != component)
                seen.wrongFrameSender = true;
            if (local) {
                ++seen.localFrames;
                return;
            }
            {
                std::lock_guard lock(seen.mutex);
                if (seen.frameIds.size() < 5)
                    seen.frameIds.push_back(id);
            }
            ++seen.remoteFrames;
        };
    }

    // Host with the program-fed source, viewer without video, as the two
    // roles run; the host makes the offer.
    void Connect(bool hostVideo)
    {
        host->VideoCallEnabled = hostVideo;
        host->CameraId = RTC_SOURCE_VIRTUAL;
        host->VideoConstraints.MaxWidth = kFrameWidth;
        host->VideoConstraints.MaxHeight = kFrameHeight;
        host->VideoConstraints.MaxFramerate = 10;
        host->CaptureCallback = VirtualCaptureCallback{nullptr, &StartCapture, &PaintFrame, &StopCapture};
        viewer->VideoCallEnabled = false;
        viewer->CameraId = RTC_SOURCE_SCREEN;
        host->SetActive(true);
        viewer->SetActive(true);
        viewer->SetCurrentViewingPeerID(kHostId);

        hostPeer = host->AddPeer(kViewerId, host->FindEndPoint());
        viewerPeer = viewer->AddPeer(kHostId, viewer->FindEndPoint());
        ASSERT_NE(hostPeer->FPc, 0u);
        ASSERT_NE(viewerPeer->FPc, 0u);
        ASSERT_NE(hostPeer->FDataChannel, 0u);
        ASSERT_NE(viewerPeer->FDataChannel, 0u);
        ASSERT_TRUE(host->CreateOffer(kViewerId));
    }

    // What the viewer got so far, for failure messages.
    std::string ViewerState()
    {
        std::lock_guard lock(viewerSeen.mutex);
        return "remote streams " + std::to_string(viewerSeen.remoteStreams.size()) + ", remote video track " +
               std::to_string(viewerPeer ? viewerPeer->getRemoteVideoTrack() : 0) + ", announced size " +
               std::to_string(viewerPeer ? viewerPeer->FFrameWidth.load() : 0) + "x" +
               std::to_string(viewerPeer ? viewerPeer->FFrameHeight.load() : 0) + ", frames " +
               std::to_string(viewerSeen.remoteFrames.load()) + ", messages " + std::to_string(viewerSeen.data.size());
    }

    bool DataArrived(Observed& seen, std::size_t count)
    {
        std::lock_guard lock(seen.mutex);
        return seen.data.size() >= count;
    }

    // Sends until the other side has its first message: a channel is only
    // known to be open once something went through it.
    bool WaitForChannel()
    {
        return mailbox.WaitFor([&] {
            if (DataArrived(viewerSeen, 1))
                return true;
            hostPeer->SendDataToPeer("PING");
            return false;
        });
    }

    Mailbox mailbox;
    Observed hostSeen, viewerSeen;
    std::unique_ptr<TWebRtcClientVcl> host, viewer;
    std::shared_ptr<TPeer> hostPeer, viewerPeer;
};

TEST_F(BackToBack, DescriptionsCandidatesAndDataCarryTheirPeers)
{
    Connect(false);
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(WaitForChannel()) << "no data reached the viewer";

    {
        std::lock_guard lock(hostSeen.mutex);
        ASSERT_FALSE(hostSeen.sdpTypes.empty());
        EXPECT_EQ(hostSeen.sdpTypes[0], std::make_pair(hostPeer.get(), QString("offer")));
        ASSERT_FALSE(hostSeen.candidateSenders.empty());
        for (TPeer* sender : hostSeen.candidateSenders)
            EXPECT_EQ(sender, hostPeer.get());
    }
    {
        std::lock_guard lock(viewerSeen.mutex);
        ASSERT_FALSE(viewerSeen.sdpTypes.empty());
        EXPECT_EQ(viewerSeen.sdpTypes[0], std::make_pair(viewerPeer.get(), QString("answer")));
        for (TPeer* sender : viewerSeen.candidateSenders)
            EXPECT_EQ(sender, viewerPeer.get());
        viewerSeen.data.clear();
    }

    // Exactly the ten bytes, no terminator, no length.
    hostPeer->SendDataToPeer("DISCONNECT");
    ASSERT_TRUE(mailbox.WaitFor([&] {
        std::lock_guard lock(viewerSeen.mutex);
        return std::any_of(viewerSeen.data.begin(), viewerSeen.data.end(),
                           [](const auto& d) { return d.second == "DISCONNECT"; });
    }));
    {
        std::lock_guard lock(viewerSeen.mutex);
        for (const auto& [sender, bytes] : viewerSeen.data) {
            EXPECT_EQ(sender, viewerPeer.get());
            if (bytes != "PING") {
                EXPECT_EQ(bytes.size(), 10);
            }
        }
    }

    // Binary bytes the other way, on the viewer's own channel.
    const QByteArray binary("\x00\x01\xfe\xff record", 11);
    viewerPeer->SendFileDataToPeer(binary);
    ASSERT_TRUE(mailbox.WaitFor([&] {
        std::lock_guard lock(hostSeen.mutex);
        return !hostSeen.data.empty();
    }));
    std::lock_guard lock(hostSeen.mutex);
    EXPECT_EQ(hostSeen.data[0], std::make_pair(hostPeer.get(), binary));
}

TEST_F(BackToBack, RealDescriptionsRewriteAsDocumentedAndStillConnect)
{
    // A start bitrate on the host makes it rewrite the viewer's answer
    // before applying it; the session must come up all the same.
    host->VideoBitrate = 500;
    Connect(true);
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(WaitForChannel());

    std::string offer;
    {
        std::lock_guard lock(hostSeen.mutex);
        offer = hostSeen.lastOffer.toStdString();
    }
    ASSERT_FALSE(offer.empty());
    // The default codecs change nothing.
    {
        TWebRtcClientVcl defaults{QString(), true};
        EXPECT_EQ(defaults.RewriteLocalDescription(offer), offer);
        EXPECT_EQ(defaults.RewriteRemoteDescription(offer), offer);
    }
    EXPECT_EQ(PreferCodec(offer, "NOSUCHCODEC", true), offer);

    // The VP8 payload type as this engine numbers it.
    const std::vector<std::string> lines = SplitSdpLines(offer);
    std::string vp8;
    for (const auto& line : lines)
        if (line.rfind("a=rtpmap:", 0) == 0 && line.find(" VP8/") != std::string::npos)
            vp8 = line.substr(9, line.find(' ') - 9);
    ASSERT_FALSE(vp8.empty());
    const std::string withBitrate = SetCodecBitrate("VP8", true, 500, offer);
    EXPECT_NE(withBitrate.find("a=rtpmap:" + vp8 + " VP8/90000\r\na=fmtp:" + vp8 + " x-google-start-bitrate=500\r\n"),
              std::string::npos);
    EXPECT_EQ(withBitrate.substr(withBitrate.size() - 2), "\r\n");
    EXPECT_EQ(SplitSdpLines(withBitrate).size(), lines.size() + 1);

    // Codec names match case-sensitively: an offer that names its audio
    // codec "OPUS" is left alone by the lower-case bitrate rule.
    if (offer.find(" OPUS/") != std::string::npos) {
        EXPECT_EQ(SetCodecBitrate("opus", false, 32, offer), offer);
    }
}

TEST_F(BackToBack, RemoteFramesReachTheViewerAndDrawExactlyOrScaled)
{
    Connect(true);
    if (HasFatalFailure())
        return;
    ASSERT_NE(host->LocalVideoTrack(), 0u) << "no program-fed video source";
    ASSERT_TRUE(mailbox.WaitFor([&] { return viewerSeen.remoteFrames.load() >= 3; }))
        << "too few remote frames reached the viewer: " << ViewerState();

    EXPECT_FALSE(viewerSeen.wrongFrameSender);
    {
        std::lock_guard lock(viewerSeen.mutex);
        ASSERT_EQ(viewerSeen.remoteStreams.size(), 1u);
        EXPECT_EQ(viewerSeen.remoteStreams[0], viewerPeer.get());
        for (const QString& id : viewerSeen.frameIds)
            EXPECT_EQ(id, kHostId);
    }
    EXPECT_TRUE(viewerPeer->Alive);
    EXPECT_NE(viewerPeer->getRemoteVideoTrack(), 0u);
    EXPECT_EQ(viewer->RemoteFrameSize(), QSize(kFrameWidth, kFrameHeight));

    // Same size: the picture as decoded (colours within codec error).
    QImage same(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    viewer->DrawFrame(0, 0, 0, 0, same, false);
    const QColor left = same.pixelColor(kFrameWidth / 4, kFrameHeight / 2);
    const QColor right = same.pixelColor(kFrameWidth * 3 / 4, kFrameHeight / 2);
    EXPECT_GT(left.red(), 180);
    EXPECT_LT(left.blue(), 80);
    EXPECT_GT(right.blue(), 180);
    EXPECT_LT(right.red(), 80);

    // Half the size: scaled, the halves stay where they were.
    QImage half(kFrameWidth / 2, kFrameHeight / 2, QImage::Format_RGB32);
    viewer->DrawFrame(0, 0, 0, 0, half, false);
    EXPECT_GT(half.pixelColor(kFrameWidth / 8, kFrameHeight / 4).red(), 180);
    EXPECT_GT(half.pixelColor(kFrameWidth * 3 / 8, kFrameHeight / 4).blue(), 180);
}

TEST_F(BackToBack, EndCallAndDeactivationWhileFramesFlow)
{
    Connect(true);
    if (HasFatalFailure())
        return;
    ASSERT_NE(host->LocalVideoTrack(), 0u) << "no program-fed video source";
    ASSERT_TRUE(mailbox.WaitFor([&] { return viewerSeen.remoteFrames.load() >= 2; })) << ViewerState();

    viewer->EndCall(kHostId);
    EXPECT_FALSE(viewer->Peers.Contains(kHostId));
    {
        std::lock_guard lock(viewerSeen.mutex);
        EXPECT_EQ(viewerSeen.removedStreams, std::vector<TPeer*>{viewerPeer.get()});
    }
    // The host still sends into a closed connection; then it is switched off
    // with its peer, and on again for a new session.
    host->SetActive(false);
    EXPECT_EQ(host->Peers.Count(), 0);
    EXPECT_EQ(host->FindEndPoint(), 0);
    host->SetActive(true);
    EXPECT_NE(host->LocalVideoTrack(), 0u);
}

// One second of a 440 Hz tone as 16-bit mono PCM in a WAV container.
QString WriteToneFile(const QString& path)
{
    const int rate = 48000;
    QByteArray samples;
    for (int i = 0; i < rate; ++i) {
        const qint16 v = static_cast<qint16>(8000 * std::sin(2 * M_PI * 440 * i / rate));
        samples.append(reinterpret_cast<const char*>(&v), 2);
    }
    auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    QByteArray wav = "RIFF" + le32(36 + samples.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(rate) +
                     le32(rate * 2) + le16(2) + le16(16) + "data" + le32(samples.size()) + samples;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(wav) != wav.size())
        return QString();
    return path;
}

TEST_F(BackToBack, FileAudioSourceReplacesTheMicrophone)
{
    QTemporaryDir dir;
    host->LocalAudioFile = WriteToneFile(dir.filePath("tone.wav"));
    ASSERT_FALSE(host->LocalAudioFile.isEmpty());
    host->SetAudioSource(TWebRtcClientVcl::kAudioSourceFile);
    Connect(false);
    if (HasFatalFailure())
        return;
    EXPECT_NE(host->LocalAudioTrack(), 0u);
    ASSERT_TRUE(mailbox.WaitFor([&] {
        std::lock_guard lock(viewerSeen.mutex);
        return !viewerSeen.remoteStreams.empty() && viewerPeer->getRemoteAudioTrack() != 0;
    })) << "the viewer got no remote audio track";
    std::lock_guard lock(viewerSeen.mutex);
    EXPECT_EQ(viewerSeen.remoteStreams[0], viewerPeer.get());
}

TEST_F(BackToBack, StatisticsArriveAsValuesFromTheComponent)
{
    std::atomic<int> values{0};
    std::atomic<bool> wrongSender{false};
    host->OnGetStats = [&](TWebRtcClientVcl* sender, const QString&, qint64, const QString& type, const QString& key,
                           const QString&) {
        if (sender != host.get() || type.isEmpty() || key.isEmpty())
            wrongSender = true;
        ++values;
    };
    Connect(false);
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(WaitForChannel());
    ASSERT_TRUE(host->GetStats(kViewerId));
    ASSERT_TRUE(mailbox.WaitFor([&] { return values.load() > 0; })) << "no statistics value arrived";
    EXPECT_FALSE(wrongSender);
    EXPECT_FALSE(host->GetStats("999999999"));
}

TEST_F(BackToBack, RecordingDevicesHaveNames)
{
    const int count = host->GetAudioSourceCount();
    ASSERT_GE(count, 0);
    for (int i = 0; i < count; ++i)
        EXPECT_FALSE(host->GetAudioSourceName(i).isEmpty()) << "device " << i;
    EXPECT_TRUE(host->GetAudioSourceName(count + 5).isEmpty());
}

TEST_F(BackToBack, UnknownPeerIdIsRefusedByTheRealComponentToo)
{
    host->SetActive(true);
    EXPECT_FALSE(host->AddIceCandidate("999999999", "0", 0, "candidate:1 1 UDP 2122260223 127.0.0.1 9 typ host"));
    EXPECT_FALSE(host->SetRemoteSDP("999999999", "answer", "v=0\r\n"));
}

// Activation with each source id on a machine without cameras.
class NoCamera : public testing::TestWithParam<std::pair<int, bool>> {};

TEST_P(NoCamera, VideoStaysOnOnlyForScreenAndWindowSources)
{
    const auto [cameraId, videoStays] = GetParam();
    TWebRtcClientVcl rtc{QString()};
    e2e::XvfbDisplay display(640, 480);
    qputenv("DISPLAY", QByteArray::fromStdString(display.name()));
    rtc.CameraId = cameraId;
    std::atomic<int> localStreams{0};
    std::atomic<int> localFrames{0};
    std::atomic<bool> wrongSender{false};
    rtc.OnAddLocalStream = [&](TWebRtcClientVcl*) { ++localStreams; };
    rtc.OnRenderFrame = [&](TWebRtcClientVcl* sender, bool local, bool, int, const QString& id) {
        if (sender != &rtc || !local || !id.isEmpty())
            wrongSender = true;
        ++localFrames;
    };
    rtc.SetActive(true);
    if (rtc.CameraCount() != 0)
        GTEST_SKIP() << "this machine has a camera";
    EXPECT_EQ(rtc.VideoCallEnabled.load(), videoStays);
    if (cameraId == RTC_SOURCE_SCREEN) {
        ASSERT_NE(rtc.LocalVideoTrack(), 0u) << "no screen source on " << display.name();
        EXPECT_EQ(localStreams.load(), 1);
        // The captured screen comes back as local frames.
        testing_support::Mailbox wait;
        ASSERT_TRUE(wait.WaitFor([&] { return localFrames.load() >= 1; })) << "no local frame";
        EXPECT_FALSE(wrongSender);
        const QSize size = rtc.LocalFrameSize();
        ASSERT_FALSE(size.isEmpty());
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::white);
        rtc.DrawFrame(0, 0, 0, 0, picture, true);
        EXPECT_EQ(picture.pixelColor(size.width() / 2, size.height() / 2), QColor(Qt::black));
    }
    if (!videoStays) {
        EXPECT_EQ(rtc.LocalVideoTrack(), 0u);
    }
    rtc.SetActive(false);
}

INSTANTIATE_TEST_SUITE_P(Sources, NoCamera,
                         testing::Values(std::make_pair(0, false), std::make_pair(999, true),
                                         std::make_pair(998, true)),
                         [](const auto& info) { return "Id" + std::to_string(info.param.first); });

} // namespace
} // namespace corvala
