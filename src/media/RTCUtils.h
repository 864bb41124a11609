#pragma once
// One remote device of the peer-connection component: its peer connection,
// data channels, callback records and the session data the program keeps for
// it.

#include <rtc.h>

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>

namespace corvala {

class TPeer;

enum class TWebrtcState { CHECKING, CLOSED, COMPLETED, CONNECTING, CONNECTED, DISCONNECTED, FAILED, NEW };

struct TPeerMonitor {
    bool Primary = false;
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// What a peer needs from its component; the component implements it. The peer
// does not own the component.
class IWebrtcClient {
public:
    // Closes the peer of that ID if it is still this one (a late close must
    // not end a newer peer of the same ID).
    virtual void ClosePeer(const QString& id, const TPeer& expected) = 0;
    virtual void DataReceived(TPeer& peer, const uint8_t* data, int size) = 0;
    virtual void StatusChanged(TPeer& peer, TWebrtcState state) = 0;
    virtual void SdpCreated(TPeer& peer, rtc_handle description) = 0;
    virtual void RemoteStreamAdded(TPeer& peer, rtc_handle stream) = 0;
    virtual void IceCandidateFound(TPeer& peer, rtc_handle candidate) = 0;
    virtual void RemoteFrameSizeChanged(TPeer& peer, int width, int height) = 0;
    virtual void RemoteFrameArrived(TPeer& peer, const uint8_t* pixels) = 0;

protected:
    ~IWebrtcClient() = default;
};

class TPeer {
public:
    TPeer(IWebrtcClient* client, const QString& id, int endPoint);
    TPeer(const TPeer&) = delete;
    TPeer& operator=(const TPeer&) = delete;

    const QString& Id() const { return FId; }
    int EndPoint() const { return FEndPoint; }

    // One data-channel message each, on the channel this side made. The text
    // goes as its UTF-8 bytes without terminator or length.
    void SendDataToPeer(const QString& text) const;
    void SendFileDataToPeer(const QByteArray& bytes) const;

    rtc_handle getLocalAudioTrack() const { return FLocalAudioTrack; }
    void setLocalAudioTrack(rtc_handle track) { FLocalAudioTrack = track; }
    rtc_handle getLocalVideoTrack() const { return FLocalVideoTrack; }
    void setLocalVideoTrack(rtc_handle track) { FLocalVideoTrack = track; }
    rtc_handle getRemoteAudioTrack() const { return FRemoteAudioTrack; }
    void setRemoteAudioTrack(rtc_handle track) { FRemoteAudioTrack = track; }
    rtc_handle getRemoteVideoTrack() const { return FRemoteVideoTrack; }
    void setRemoteVideoTrack(rtc_handle track) { FRemoteVideoTrack = track; }

    // Session data kept for the program; main thread only, except `Alive`,
    // which the frame path sets on an engine thread.
    QString UserName;
    QString Password;
    std::atomic<bool> Alive{false};
    bool NeedToReconnect = false;
    bool DemonstrationMode = false;
    int AppVersion = 0;
    int MultipleMonitorsCount = 0;
    QList<TPeerMonitor> MultipleMonitors;
    int DesktopLeft = 0;
    int DesktopTop = 0;
    int DesktopWidth = 0;
    int DesktopHeight = 0;
    int CurrentMonitor = 0;

    // Engine side. The handles are written once while the peer is made on
    // the main thread, before the engine can call back.
    IWebrtcClient* const FClient;
    const QString FId;
    const int FEndPoint;
    rtc_handle FLocalAudioTrack = 0;
    rtc_handle FLocalVideoTrack = 0;
    std::atomic<rtc_handle> FRemoteAudioTrack{0};
    std::atomic<rtc_handle> FRemoteVideoTrack{0};
    std::atomic<rtc_handle> FRemoteStream{0};
    rtc_handle FPc = 0;
    rtc_handle FDataChannel = 0;
    std::atomic<rtc_handle> FReceiveChannel{0};
    PeerConnectionCallback FPcObserver{};
    SDPCallback FSdpObserver{};
    DCCallback FDCObserver{};
    std::atomic<int> FFrameWidth{0};
    std::atomic<int> FFrameHeight{0};

    // Set once by whoever closes the peer first; callbacks of a closed peer
    // are dropped.
    std::atomic<bool> FClosed{false};
    // Callbacks now running for this peer. A closed peer is only freed when
    // this is 0, because a callback may still be waiting on the main thread
    // after its connection was closed.
    std::atomic<int> FCallbacksInFlight{0};

    // The callback functions the three records point at, with `arg` = the peer.
    static void OnAddStream(void* arg, rtc_handle stream);
    static void OnRemoveStream(void* arg, rtc_handle stream);
    static void OnOpenDataChannel(void* arg, rtc_handle channel);
    static void OnIceStateChanged(void* arg, int state);
    static void OnGenerateIceCandidate(void* arg, rtc_handle candidate);
    static void OnCreateSdp(void* arg, rtc_handle description, int error);
    static void OnSetSdp(void* arg, int error);
    static void OnReceiveMessage(void* arg, const uint8_t* data, int size);
    static void OnSetRemoteSize(void* arg, int width, int height);
    static void OnRenderRemoteFrame(void* arg, const uint8_t* pixels);
};

} // namespace corvala
