#pragma once
// Two components connected back to back over the real media library, inside
// a network namespace that has only loopback (the end-to-end main sees to
// that) and with no ICE server at all. The test thread plays both main
// threads and the signalling server.
#include "EngineHarness.h"
#include "media/MediaLibraryLoader.h"
#include "media/WebrtcClientVcl.h"

#include <gtest/gtest.h>

#include <QFile>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvala {

using testing_support::Mailbox;

inline const QString kHostId = QStringLiteral("111111111");
inline const QString kViewerId = QStringLiteral("222222222");

// CORVALA_RECORD_SEEDS=FOLDER keeps each description and candidate the real
// engine made, one file each, as seeds for the fuzz targets (fuzz/).
inline void RecordSeed(const char* kind, const QString& text)
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

inline int StartCapture(void*, int, int, int) { return 1; }
inline int PaintFrame(void*, uint8_t* pixels, int width, int height)
{
    auto* p = reinterpret_cast<uint32_t*>(pixels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[y * width + x] = x < width / 2 ? 0xffff0000u : 0xff0000ffu;
    return 1;
}
inline void StopCapture(void*) {}

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

    // Host with the program-fed source (or `hostSource`), viewer without
    // video, as the two roles run; the host makes the offer.
    void Connect(bool hostVideo, int hostSource = RTC_SOURCE_VIRTUAL)
    {
        host->VideoCallEnabled = hostVideo;
        host->CameraId = hostSource;
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

} // namespace corvala
