#pragma once
// What the program needs from the peer-connection component, as an
// interface: session set-up and the remote-control channel run against the
// real component in the program and against a recording one in tests.
//
// Events go the other way through IRtcClientEvents. They are raised on the
// engine's threads; handing them to the main thread is the receiver's
// business (the core's engine hand-over).

#include "media/RTCUtils.h"
#include "media/WebrtcClientVcl.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace corvala {

// Picture sources of the component (CameraId).
inline constexpr int ScreenSourceId = 999;
inline constexpr int CopyWindowSourceId = 998;

// The screen source a side activates the component with.
struct StreamSource {
    int CameraId = ScreenSourceId;
    // The window for CopyWindowSourceId.
    unsigned long CameraSource = 0;
    bool VideoCallEnabled = false;  // the host sends video, the viewer does not
    int MaxWidth = 0;
    int MaxHeight = 0;
    // The capture rate the source is made with; 0 keeps the configured cap.
    int MaxFramerate = 0;
};

// The component's events, on the engine's threads.
class IRtcClientEvents {
public:
    // A data-channel message from the peer.
    virtual void rtcClientReceiveData(TPeer& sender, const QByteArray& data) = 0;
    // A remote frame of that peer is in the component's picture.
    virtual void rtcClientRenderFrame(const QString& peerId) = 0;
    // A description or a candidate this side made, to be written to the peer.
    virtual void rtcClientSdpCreateSuccess(TPeer& peer, const QString& sdpType, const QString& sdp) = 0;
    virtual void rtcClientIceCandidate(TPeer& peer, int label, const QString& id, const QString& candidate) = 0;
    // The connection to the peer ended (the component has already taken it
    // out of its peers; the object stays valid during the call).
    virtual void rtcClientRemoveRemoteStream(const TPeer& peer) = 0;
    virtual void rtcClientError(const QString& error) = 0;

protected:
    ~IRtcClientEvents() = default;
};

class IRtcClientPort {
public:
    virtual ~IRtcClientPort() = default;

    // Where the events go; call before the first activation.
    virtual void SetEvents(IRtcClientEvents& events) = 0;

    virtual bool Active() const = 0;
    // Sets the source, video flag and maximum size, then Active := true.
    virtual void Activate(const StreamSource& source) = 0;
    // Active := false: every peer ends, the picture source is released.
    virtual void Deactivate() = 0;
    // The component as the program starts with it: no video call, camera 0,
    // the frame-rate cap.
    virtual void Configure(int maxFramerate) = 0;

    virtual TIceServers& IceServers() = 0;
    // Hands a server to the live list of an active component.
    virtual void AddNewIceServer(const TIceServer& server) = 0;

    virtual int FindEndPoint() const = 0;
    virtual std::shared_ptr<TPeer> FindPeer(const QString& id) const = 0;
    virtual std::shared_ptr<TPeer> AddPeer(const QString& id, int endPoint) = 0;
    virtual void EndCall(const QString& id) = 0;
    virtual int PeerCount() const = 0;
    // Snapshots, safe to walk while peers come and go.
    virtual QStringList PeerIds() const = 0;
    virtual std::vector<std::shared_ptr<TPeer>> Peers() const = 0;

    virtual bool CreateOffer(const QString& peerId) = 0;
    virtual bool CreateAnswer(const QString& peerId, const QString& sdpType, const QString& sdp) = 0;
    virtual bool SetRemoteSDP(const QString& peerId, const QString& sdpType, const QString& sdp) = 0;
    virtual bool AddIceCandidate(const QString& peerId, const QString& aid, int alabel, const QString& acandidate) = 0;

    // One data-channel message to the peer, on the channel this side made.
    virtual void SendData(const TPeer& peer, const QByteArray& bytes) = 0;

    virtual QString CurrentViewingPeerID() const = 0;
    virtual void SetCurrentViewingPeerID(const QString& id) = 0;

    // Switches this side's microphone track for the peer on or off.
    virtual void SetMicrophone(const TPeer& peer, bool on) = 0;

    // The last remote frame: its size, and a copy of it (of the given source
    // rectangle when any value is not 0) scaled into `picture`.
    virtual QSize RemoteFrameSize() const = 0;
    virtual void DrawRemoteFrame(int left, int top, int width, int height, QImage& picture) = 0;
};

// The port over the program's component.
class TWebRtcClientPort : public IRtcClientPort {
public:
    // Over a component someone else owns (tests keep one in designing mode).
    explicit TWebRtcClientPort(TWebRtcClientVcl& client) : FClient(client) {}
    // Loads the media engine library from the program folder and owns the
    // component; throws MediaLibraryError when the library cannot be used.
    static std::unique_ptr<TWebRtcClientPort> Load(const QString& programFolder);

    TWebRtcClientVcl& Client() { return FClient; }
    const TWebRtcClientVcl& Client() const { return FClient; }

    void SetEvents(IRtcClientEvents& events) override;
    bool Active() const override;
    void Activate(const StreamSource& source) override;
    void Deactivate() override;
    void Configure(int maxFramerate) override;
    TIceServers& IceServers() override;
    void AddNewIceServer(const TIceServer& server) override;
    int FindEndPoint() const override;
    std::shared_ptr<TPeer> FindPeer(const QString& id) const override;
    std::shared_ptr<TPeer> AddPeer(const QString& id, int endPoint) override;
    void EndCall(const QString& id) override;
    int PeerCount() const override;
    QStringList PeerIds() const override;
    std::vector<std::shared_ptr<TPeer>> Peers() const override;
    bool CreateOffer(const QString& peerId) override;
    bool CreateAnswer(const QString& peerId, const QString& sdpType, const QString& sdp) override;
    bool SetRemoteSDP(const QString& peerId, const QString& sdpType, const QString& sdp) override;
    bool AddIceCandidate(const QString& peerId, const QString& aid, int alabel, const QString& acandidate) override;
    void SendData(const TPeer& peer, const QByteArray& bytes) override;
    QString CurrentViewingPeerID() const override;
    void SetCurrentViewingPeerID(const QString& id) override;
    void SetMicrophone(const TPeer& peer, bool on) override;
    QSize RemoteFrameSize() const override;
    void DrawRemoteFrame(int left, int top, int width, int height, QImage& picture) override;

private:
    TWebRtcClientPort(std::unique_ptr<TWebRtcClientVcl> owned);

    std::unique_ptr<TWebRtcClientVcl> FOwned;
    TWebRtcClientVcl& FClient;
};

}  // namespace corvala
