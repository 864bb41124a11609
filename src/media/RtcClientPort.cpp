#include "media/RtcClientPort.h"

namespace corvala {

std::unique_ptr<TWebRtcClientPort> TWebRtcClientPort::Load(const QString& programFolder) {
    return std::unique_ptr<TWebRtcClientPort>(
        new TWebRtcClientPort(std::make_unique<TWebRtcClientVcl>(programFolder)));
}

TWebRtcClientPort::TWebRtcClientPort(std::unique_ptr<TWebRtcClientVcl> owned)
    : FOwned(std::move(owned)), FClient(*FOwned) {}

void TWebRtcClientPort::SetEvents(IRtcClientEvents& events) {
    FClient.OnReceiveData = [&events](TPeer* sender, const QByteArray& data) {
        events.rtcClientReceiveData(*sender, data);
    };
    FClient.OnRenderFrame = [&events](TWebRtcClientVcl*, bool local, bool, int, const QString& id) {
        if (!local) events.rtcClientRenderFrame(id);
    };
    FClient.OnSdpCreateSuccess = [&events](TPeer* peer, const QString& type, const QString& sdp) {
        events.rtcClientSdpCreateSuccess(*peer, type, sdp);
    };
    FClient.OnIceCandidate = [&events](TPeer* peer, int label, const QString& id, const QString& candidate) {
        events.rtcClientIceCandidate(*peer, label, id, candidate);
    };
    FClient.OnRemoveRemoteStream = [&events](TPeer* peer) { events.rtcClientRemoveRemoteStream(*peer); };
    FClient.OnError = [&events](TWebRtcClientVcl*, const QString& error) { events.rtcClientError(error); };
}

bool TWebRtcClientPort::Active() const { return FClient.Active(); }

void TWebRtcClientPort::Activate(const StreamSource& source) {
    FClient.CameraId = source.CameraId;
    FClient.CameraSource = source.CameraSource;
    FClient.VideoConstraints.MaxWidth = source.MaxWidth;
    FClient.VideoConstraints.MaxHeight = source.MaxHeight;
    if (source.MaxFramerate > 0) FClient.VideoConstraints.MaxFramerate = source.MaxFramerate;
    FClient.VideoCallEnabled = source.VideoCallEnabled;
    FClient.SetActive(true);
}

void TWebRtcClientPort::Deactivate() { FClient.SetActive(false); }

void TWebRtcClientPort::Configure(int maxFramerate) {
    FClient.VideoConstraints.MaxFramerate = maxFramerate;
    FClient.VideoCallEnabled = false;
    FClient.CameraId = 0;
}

TIceServers& TWebRtcClientPort::IceServers() { return FClient.IceServers; }

void TWebRtcClientPort::AddNewIceServer(const TIceServer& server) {
    FClient.AddNewIceServer(server.Url, server.UserName, server.Password);
}

int TWebRtcClientPort::FindEndPoint() const { return FClient.FindEndPoint(); }

std::shared_ptr<TPeer> TWebRtcClientPort::FindPeer(const QString& id) const { return FClient.Peers.Find(id); }

std::shared_ptr<TPeer> TWebRtcClientPort::AddPeer(const QString& id, int endPoint) {
    return FClient.AddPeer(id, endPoint);
}

void TWebRtcClientPort::EndCall(const QString& id) { FClient.EndCall(id); }

int TWebRtcClientPort::PeerCount() const { return FClient.Peers.Count(); }

QStringList TWebRtcClientPort::PeerIds() const { return FClient.Peers.Keys(); }

std::vector<std::shared_ptr<TPeer>> TWebRtcClientPort::Peers() const { return FClient.Peers.Values(); }

bool TWebRtcClientPort::CreateOffer(const QString& peerId) { return FClient.CreateOffer(peerId); }

bool TWebRtcClientPort::CreateAnswer(const QString& peerId, const QString& sdpType, const QString& sdp) {
    return FClient.CreateAnswer(peerId, sdpType, sdp);
}

bool TWebRtcClientPort::SetRemoteSDP(const QString& peerId, const QString& sdpType, const QString& sdp) {
    return FClient.SetRemoteSDP(peerId, sdpType, sdp);
}

bool TWebRtcClientPort::AddIceCandidate(const QString& peerId, const QString& aid, int alabel,
                                        const QString& acandidate) {
    return FClient.AddIceCandidate(peerId, aid, alabel, acandidate);
}

void TWebRtcClientPort::SendData(const TPeer& peer, const QByteArray& bytes) { peer.SendFileDataToPeer(bytes); }

QString TWebRtcClientPort::CurrentViewingPeerID() const { return FClient.CurrentViewingPeerID(); }

void TWebRtcClientPort::SetCurrentViewingPeerID(const QString& id) { FClient.SetCurrentViewingPeerID(id); }

void TWebRtcClientPort::SetMicrophone(const TPeer& peer, bool on) {
    if (const rtc_handle track = peer.getLocalAudioTrack()) FClient.SetTrackState(track, on);
}

QSize TWebRtcClientPort::RemoteFrameSize() const { return FClient.RemoteFrameSize(); }

void TWebRtcClientPort::DrawRemoteFrame(int left, int top, int width, int height, QImage& picture) {
    FClient.DrawFrame(left, top, width, height, picture, false);
}

}  // namespace corvala
