#pragma once
// The real component in its designing mode (peers, end points and ICE-server
// list are kept, the engine is never called) with every engine request
// recorded. A test may answer description requests the way the engine would,
// by calling the session's writer from `OnDescriptionRequested`, and raise
// the engine's events through Events().

#include "media/RtcClientPort.h"

#include <QStringList>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace corvala::testing {

struct ComponentHolder {
    TWebRtcClientVcl component{QString(), /*designing=*/true};
};

class RecordingRtc : private ComponentHolder, public TWebRtcClientPort {
public:
    struct Sdp {
        QString peer;
        QString type;
        QString sdp;
    };
    struct Candidate {
        QString peer;
        QString id;
        int label;
        QString candidate;
    };

    RecordingRtc() : TWebRtcClientPort(component) {}

    std::vector<StreamSource> activations;
    std::vector<TIceServer> liveServers;
    QStringList offers;
    std::vector<Sdp> answersMade;  // CreateAnswer
    std::vector<Sdp> remoteSdps;   // SetRemoteSDP
    std::vector<Candidate> candidates;
    std::vector<std::pair<QString, bool>> microphone;
    // Data-channel messages as "peer: bytes", in order.
    std::vector<std::string> dataSent;
    int deactivations = 0;
    bool endPointsExhausted = false;
    // Called after CreateOffer / CreateAnswer of a known peer with "offer" / "answer".
    std::function<void(TPeer* peer, const QString& type)> OnDescriptionRequested;

    // Where the component's events go (set by whoever owns the port).
    IRtcClientEvents& Events() { return *FEvents; }

    void SetEvents(IRtcClientEvents& events) override {
        FEvents = &events;
        TWebRtcClientPort::SetEvents(events);
    }
    void SendData(const TPeer& peer, const QByteArray& bytes) override {
        std::lock_guard lock(FDataMutex);
        dataSent.push_back(peer.Id().toStdString() + ": " + bytes.toStdString());
    }
    std::vector<std::string> TakeData() {
        std::lock_guard lock(FDataMutex);
        return std::exchange(dataSent, {});
    }
    void Deactivate() override {
        ++deactivations;
        TWebRtcClientPort::Deactivate();
    }
    void Activate(const StreamSource& source) override {
        activations.push_back(source);
        TWebRtcClientPort::Activate(source);
    }
    void AddNewIceServer(const TIceServer& server) override { liveServers.push_back(server); }
    int FindEndPoint() const override {
        return endPointsExhausted ? TWebRtcClientVcl::kEndPointCount : TWebRtcClientPort::FindEndPoint();
    }
    bool CreateOffer(const QString& peerId) override {
        offers << peerId;
        const bool known = TWebRtcClientPort::CreateOffer(peerId);
        if (known && OnDescriptionRequested)
            OnDescriptionRequested(FindPeer(peerId).get(), "offer");
        return known;
    }
    bool CreateAnswer(const QString& peerId, const QString& type, const QString& sdp) override {
        answersMade.push_back({peerId, type, sdp});
        const bool known = TWebRtcClientPort::CreateAnswer(peerId, type, sdp);
        if (known && OnDescriptionRequested)
            OnDescriptionRequested(FindPeer(peerId).get(), "answer");
        return known;
    }
    bool SetRemoteSDP(const QString& peerId, const QString& type, const QString& sdp) override {
        remoteSdps.push_back({peerId, type, sdp});
        return TWebRtcClientPort::SetRemoteSDP(peerId, type, sdp);
    }
    bool AddIceCandidate(const QString& peerId, const QString& aid, int alabel, const QString& acandidate) override {
        candidates.push_back({peerId, aid, alabel, acandidate});
        return TWebRtcClientPort::AddIceCandidate(peerId, aid, alabel, acandidate);
    }
    void SetMicrophone(const TPeer& peer, bool on) override { microphone.emplace_back(peer.Id(), on); }

private:
    IRtcClientEvents* FEvents = nullptr;
    std::mutex FDataMutex;
};

}  // namespace corvala::testing
