#include "session/RtcClientPort.h"

namespace corvala {

bool TWebRtcClientPort::Active() const { return FClient.Active(); }

void TWebRtcClientPort::Activate(const StreamSource& source) {
    FClient.CameraId = source.CameraId;
    FClient.CameraSource = source.CameraSource;
    FClient.VideoConstraints.MaxWidth = source.MaxWidth;
    FClient.VideoConstraints.MaxHeight = source.MaxHeight;
    FClient.VideoCallEnabled = source.VideoCallEnabled;
    FClient.SetActive(true);
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

QString TWebRtcClientPort::CurrentViewingPeerID() const { return FClient.CurrentViewingPeerID(); }

void TWebRtcClientPort::SetCurrentViewingPeerID(const QString& id) { FClient.SetCurrentViewingPeerID(id); }

void TWebRtcClientPort::SetMicrophone(const TPeer& peer, bool on) {
    if (const rtc_handle track = peer.getLocalAudioTrack())
        FClient.SetTrackState(track, on);
}

}  // namespace corvala
