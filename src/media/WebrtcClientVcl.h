#pragma once
// TWebRtcClientVcl: the peer-connection component over the media engine
// library. It owns the engine objects every connection shares (audio module,
// factory, ICE-server list, the local stream) and one TPeer per remote device
// ID, turns the library's callbacks into events and copies video frames into
// 32-bit pictures.
//
// Events are raised on the engine's threads; handing them to the main thread
// is the owner's business. Assign the events before activation.
//
// Threads. The main thread makes and ends peers while the engine's threads
// call back into them:
//  - Peers is a reader-writer-locked map of shared pointers; a lookup returns
//    a reference that keeps the peer alive. No lock is held while an event
//    runs or the library is called.
//  - Whoever takes a peer out of Peers closes it (EndCall and deactivation on
//    the main thread, a removed remote stream on an engine thread), so a
//    peer is closed once and its ID is free at once.
//  - The library hands each callback record's `arg` (the raw peer) back even
//    to a callback that was already running when the connection closed, so
//    closed peers are kept, inert, until a deactivation finds no callback of
//    theirs running, or until the component goes.
//  - The viewed peer's ID, the end-point table and the frame pictures each
//    have their own small lock (FrameLock() for the pictures).

#include "media/PeerDictionary.h"
#include "media/RTCUtils.h"

#include <QImage>
#include <QList>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvala {

enum class TVideoCodec { VP8, VP9, H264 };
enum class TAudioCodec { OPUS, ISAC };

struct TVideoConstraints {
    int MaxWidth = 0;
    int MaxHeight = 0;
    int MaxFramerate = 0;
    int MinFramerate = 0;
};

struct TPeerConnectionConstraints {
    bool ReceiveAudio = true;
    bool ReceiveVideo = true;
    bool DtlsSrtpKeyAgreement = true;
};

struct TIceServer {
    QString Url;
    QString UserName;
    QString Password;
};
using TIceServers = QList<TIceServer>;

// The one lock of the frame path: held while a remote (or local) frame is
// copied into the component's picture and while a picture is drawn from it.
std::mutex& FrameLock();

class TWebRtcClientVcl final : private IWebrtcClient {
public:
    static constexpr int kEndPointCount = 1000;
    // Audio source index that plays LocalAudioFile instead of a microphone.
    static constexpr int kAudioSourceFile = 10000;

    // Loads the media library (MediaLibraryError when that fails) unless
    // `designing`, in which case no engine call is ever made: peers and
    // activation then only keep their bookkeeping.
    explicit TWebRtcClientVcl(const QString& programFolder, bool designing = false);
    ~TWebRtcClientVcl();
    TWebRtcClientVcl(const TWebRtcClientVcl&) = delete;
    TWebRtcClientVcl& operator=(const TWebRtcClientVcl&) = delete;

    // Published properties with their defaults. The codec choices and
    // VideoCallEnabled are read on engine threads too.
    TVideoConstraints VideoConstraints;
    TPeerConnectionConstraints PeerConnectionConstraints;
    TIceServers IceServers;
    bool Vp8HardwareAcceleration = true;
    std::atomic<TVideoCodec> VideoCodec{TVideoCodec::VP8};
    std::atomic<TAudioCodec> AudioCodec{TAudioCodec::OPUS};
    int VideoBitrate = 0;
    int AudioBitrate = 0;
    std::atomic<bool> VideoCallEnabled{true};
    bool AudioCallEnabled = true;
    QString LocalAudioFile;
    int CameraId = 0;

    bool Active() const { return FActive; }
    void SetActive(bool value);
    bool Designing() const { return FDesigning; }

    QString CurrentViewingPeerID() const;
    void SetCurrentViewingPeerID(const QString& id);
    // The frame path's check: compares under the lock without taking a copy.
    bool IsCurrentViewingPeer(const QString& id) const;

    // Events. Senders: the peer for per-peer events, the component for the
    // others; OnRenderFrame names the peer by `id` (empty for local frames).
    std::function<void(TPeer* Sender, TWebrtcState state)> OnStatusChanged;
    std::function<void(TWebRtcClientVcl* Sender, bool Local, bool YuvFrame, int Rotation, const QString& id)> OnRenderFrame;
    std::function<void(TWebRtcClientVcl* Sender, const QString& error)> OnError;
    std::function<void(TPeer* Sender, const QString& sdpType, const QString& sdpDescription)> OnSdpCreateSuccess;
    std::function<void(TPeer* Sender, int aLabel, const QString& Aid, const QString& ACandidate)> OnIceCandidate;
    std::function<void(TPeer* Sender)> OnRemoveRemoteStream;
    std::function<void(TPeer* Sender)> OnAddRemoteStream;
    std::function<void(TWebRtcClientVcl* Sender)> OnAddLocalStream;
    std::function<void(TPeer* Sender, const QByteArray& Data)> OnReceiveData;
    std::function<void(TWebRtcClientVcl* Sender, const QString& id, qint64 ts, const QString& _type,
                       const QString& key, const QString& value)>
        OnGetStats;

    // Public, not published.
    TPeerDictionary Peers;
    VirtualCaptureCallback CaptureCallback{};
    unsigned long CameraSource = 0;

    // Lowest free end-point slot, or kEndPointCount when all are in use.
    int FindEndPoint() const;
    // Throws std::logic_error when the component is not active, the ID
    // already has a peer (end it first) or the slot is not a free one.
    std::shared_ptr<TPeer> AddPeer(const QString& id, int endPoint);

    // The peer-addressed operations return false for an unknown peer ID.
    bool CreateOffer(const QString& peerId);
    bool CreateAnswer(const QString& peerId, const QString& sdpType, const QString& sdp);
    bool SetRemoteSDP(const QString& peerId, const QString& sdpType, const QString& sdp);
    bool AddIceCandidate(const QString& peerId, const QString& aid, int alabel, const QString& acandidate);
    bool GetStats(const QString& peerId);
    void EndCall(const QString& id);

    void SetTrackState(rtc_handle Track, bool Enable);
    void AddNewIceServer(const QString& strURL, const QString& strUsername, const QString& strPassword);
    int GetAudioSourceCount() const;
    QString GetAudioSourceName(int index) const;
    void SetAudioSource(int index);
    int AudioSourceIndex() const { return FAudioSourceIndex; }

    // Copies the local or remote frame into Dst: one block copy when all four
    // source values are 0 and Dst has the frame's size, smooth scaling
    // otherwise (of the given source rectangle when any value is not 0).
    void DrawFrame(int SrcLeft, int SrcTop, int SrcWidth, int SrcHeight, QImage& Dst, bool Local);
    // Copies a packed 32-bit frame of the picture's current size into the
    // remote (Remote) or local frame picture.
    void DrawVideo(bool Remote, const uint8_t* rgb);
    void SetRemoteFrameSize(int Width, int Height);
    QSize RemoteFrameSize() const;
    QSize LocalFrameSize() const;
    void ReportError(const QString& Error);
    void Pause() {}
    void Resume() {}
    void SwitchCamera() {}

    // The codec-order and bitrate rewriting applied to a received description,
    // and the codec-order rewriting applied to one the engine made.
    std::string RewriteRemoteDescription(const std::string& sdp) const;
    std::string RewriteLocalDescription(const std::string& sdp) const;

    // Engine state, for the owner and for tests.
    rtc_handle LocalVideoTrack() const { return FLocalVideoTrack; }
    rtc_handle LocalAudioTrack() const { return FLocalAudioTrack; }
    int CameraCount() const { return FCameraCount; }

private:
    // IWebrtcClient
    void ClosePeer(const QString& id, const TPeer& expected) override;
    void DataReceived(TPeer& peer, const uint8_t* data, int size) override;
    void StatusChanged(TPeer& peer, TWebrtcState state) override;
    void SdpCreated(TPeer& peer, rtc_handle description) override;
    void RemoteStreamAdded(TPeer& peer, rtc_handle stream) override;
    void IceCandidateFound(TPeer& peer, rtc_handle candidate) override;
    void RemoteFrameSizeChanged(TPeer& peer, int width, int height) override;
    void RemoteFrameArrived(TPeer& peer, const uint8_t* pixels) override;

    // Whoever takes the peer out of the dictionary closes it, so the ID is
    // free again at once and a peer is closed exactly once. The monitor list
    // belongs to the main thread: it is only emptied when that thread closes.
    void ClosePeer(const QString& id, const TPeer* expected, bool onMainThread);
    void Activate();
    void Deactivate();
    void CreateLocalStream();
    void ReleaseClosedPeers();
    void MarkEndPoint(int endPoint, bool used);

    static void OnLocalSetSize(void* arg, int width, int height);
    static void OnLocalRenderFrame(void* arg, const uint8_t* pixels);
    static void OnStatsValue(void* arg, const char* id, int64_t ts, const char* type, const char* key,
                             const char* value);
    static void OnStatsComplete(void* arg);

    const bool FDesigning;
    bool FActive = false;

    mutable std::mutex FViewingMutex;
    QString FCurrentViewingPeerID;

    // End-point table and the peers closed but not yet freed; a peer may be
    // closed on an engine thread (remote stream removed), hence the lock.
    mutable std::mutex FPeersMutex;
    std::array<bool, kEndPointCount> FEndPoints{};
    std::vector<std::shared_ptr<TPeer>> FClosedPeers;

    rtc_handle FAudioModule = 0;
    rtc_handle FFileAudioModule = 0;
    rtc_handle FFactory = 0;
    rtc_handle FIceServers = 0;
    rtc_handle FPcConstraints = 0;
    rtc_handle FLocalStream = 0;
    rtc_handle FVideoSource = 0;
    rtc_handle FLocalVideoTrack = 0;
    rtc_handle FLocalAudioTrack = 0;
    int FCameraCount = 0;
    int FAudioSourceIndex = 0;

    VideoRendererCallback FLocalRenderer{};
    VideoRendererCallback FRemoteRenderer{};
    StatsCallback FStatsCallback{};

    // Guarded by FrameLock().
    QImage FLocalFrame;
    QImage FRemoteFrame;
};

} // namespace corvala
