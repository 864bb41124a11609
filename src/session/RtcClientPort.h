#pragma once
// What session set-up needs from the peer-connection component, as an
// interface, so that the admission and request logic runs against the real
// component in the program and against a recording one in tests.

#include "media/RTCUtils.h"
#include "media/WebrtcClientVcl.h"

#include <QString>

#include <memory>

namespace corvala {

// Picture sources of the component (CameraId).
inline constexpr int ScreenSourceId = 999;
inline constexpr int CopyWindowSourceId = 998;

// The screen source a side activates the component with.
struct StreamSource {
    int CameraId = ScreenSourceId;
    // The window for CopyWindowSourceId.
    unsigned long CameraSource = 0;
    bool VideoCallEnabled = false;    // the host sends video, the viewer does not
    int MaxWidth = 0;
    int MaxHeight = 0;
};

class IRtcClientPort {
public:
    virtual ~IRtcClientPort() = default;

    virtual bool Active() const = 0;
    // Sets the source, video flag and maximum size, then Active := true.
    virtual void Activate(const StreamSource& source) = 0;

    virtual TIceServers& IceServers() = 0;
    // Hands a server to the live list of an active component.
    virtual void AddNewIceServer(const TIceServer& server) = 0;

    virtual int FindEndPoint() const = 0;
    virtual std::shared_ptr<TPeer> FindPeer(const QString& id) const = 0;
    virtual std::shared_ptr<TPeer> AddPeer(const QString& id, int endPoint) = 0;
    virtual void EndCall(const QString& id) = 0;
    virtual int PeerCount() const = 0;

    virtual bool CreateOffer(const QString& peerId) = 0;
    virtual bool CreateAnswer(const QString& peerId, const QString& sdpType, const QString& sdp) = 0;
    virtual bool SetRemoteSDP(const QString& peerId, const QString& sdpType, const QString& sdp) = 0;
    virtual bool AddIceCandidate(const QString& peerId, const QString& aid, int alabel, const QString& acandidate) = 0;

    virtual QString CurrentViewingPeerID() const = 0;
    virtual void SetCurrentViewingPeerID(const QString& id) = 0;

    // Switches this side's microphone track for the peer on or off.
    virtual void SetMicrophone(const TPeer& peer, bool on) = 0;
};

// The port over the program's component.
class TWebRtcClientPort : public IRtcClientPort {
public:
    explicit TWebRtcClientPort(TWebRtcClientVcl& client) : FClient(client) {}

    TWebRtcClientVcl& Client() { return FClient; }

    bool Active() const override;
    void Activate(const StreamSource& source) override;
    TIceServers& IceServers() override;
    void AddNewIceServer(const TIceServer& server) override;
    int FindEndPoint() const override;
    std::shared_ptr<TPeer> FindPeer(const QString& id) const override;
    std::shared_ptr<TPeer> AddPeer(const QString& id, int endPoint) override;
    void EndCall(const QString& id) override;
    int PeerCount() const override;
    bool CreateOffer(const QString& peerId) override;
    bool CreateAnswer(const QString& peerId, const QString& sdpType, const QString& sdp) override;
    bool SetRemoteSDP(const QString& peerId, const QString& sdpType, const QString& sdp) override;
    bool AddIceCandidate(const QString& peerId, const QString& aid, int alabel, const QString& acandidate) override;
    QString CurrentViewingPeerID() const override;
    void SetCurrentViewingPeerID(const QString& id) override;
    void SetMicrophone(const TPeer& peer, bool on) override;

private:
    TWebRtcClientVcl& FClient;
};

}  // namespace corvala
