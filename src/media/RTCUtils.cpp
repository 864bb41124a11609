#include "media/RTCUtils.h"

#include "base/Log.h"
#include "media/MediaLibraryLoader.h"

namespace corvala {
namespace {

// Counts a callback as running for as long as it runs.
class CallbackScope {
public:
    explicit CallbackScope(void* arg) : peer_(*static_cast<TPeer*>(arg)) { peer_.FCallbacksInFlight.fetch_add(1); }
    ~CallbackScope() { peer_.FCallbacksInFlight.fetch_sub(1); }
    TPeer& peer() const { return peer_; }
    bool closed() const { return peer_.FClosed.load(); }

private:
    TPeer& peer_;
};

} // namespace

TPeer::TPeer(IWebrtcClient* client, const QString& id, int endPoint)
    : FClient(client), FId(id), FEndPoint(endPoint)
{
    FPcObserver.arg = this;
    FPcObserver.add_stream = &TPeer::OnAddStream;
    FPcObserver.remove_stream = &TPeer::OnRemoveStream;
    FPcObserver.open_datachannel = &TPeer::OnOpenDataChannel;
    FPcObserver.icestate_changed = &TPeer::OnIceStateChanged;
    FPcObserver.generate_icecandidate = &TPeer::OnGenerateIceCandidate;
    FPcObserver.icegathering_changed = nullptr;
    FSdpObserver.arg = this;
    FSdpObserver.create_sdp = &TPeer::OnCreateSdp;
    FSdpObserver.set_sdp = &TPeer::OnSetSdp;
    FDCObserver.arg = this;
    FDCObserver.receive_message = &TPeer::OnReceiveMessage;
}

void TPeer::SendDataToPeer(const QString& text) const
{
    SendFileDataToPeer(text.toUtf8());
}

void TPeer::SendFileDataToPeer(const QByteArray& bytes) const
{
    if (FDataChannel && Rtc().rtc_send_data)
        Rtc().rtc_send_data(FDataChannel, bytes.constData(), static_cast<int>(bytes.size()));
}

void TPeer::OnAddStream(void* arg, rtc_handle stream)
{
    CallbackScope scope(arg);
    if (!scope.closed())
        scope.peer().FClient->RemoteStreamAdded(scope.peer(), stream);
}

void TPeer::OnRemoveStream(void* arg, rtc_handle)
{
    CallbackScope scope(arg);
    if (!scope.closed())
        scope.peer().FClient->ClosePeer(scope.peer().FId, scope.peer());
}

void TPeer::OnOpenDataChannel(void* arg, rtc_handle channel)
{
    CallbackScope scope(arg);
    if (scope.closed())
        return;
    // Messages on the channel the other side opened reach the same handler
    // as those on our own.
    scope.peer().FReceiveChannel = channel;
    Rtc().rtc_datachannel_observe(channel, &scope.peer().FDCObserver);
}

void TPeer::OnIceStateChanged(void* arg, int state)
{
    // The connection's state is the engine's business; a failure is kept in
    // the log so that a session that never came up can be told apart from
    // one that was refused.
    CallbackScope scope(arg);
    if (scope.closed())
        return;
    if (state == RTC_ICE_FAILED || state == RTC_ICE_DISCONNECTED)
        qCWarning(lcEngine) << "connection to" << scope.peer().FId
                            << (state == RTC_ICE_FAILED ? "failed" : "lost") << "(ICE)";
    else
        qCDebug(lcEngine) << "ICE state of" << scope.peer().FId << "is now" << state;
}

void TPeer::OnGenerateIceCandidate(void* arg, rtc_handle candidate)
{
    CallbackScope scope(arg);
    if (!scope.closed())
        scope.peer().FClient->IceCandidateFound(scope.peer(), candidate);
}

void TPeer::OnCreateSdp(void* arg, rtc_handle description, int error)
{
    CallbackScope scope(arg);
    if (scope.closed())
        return;
    if (error != 0) {
        qCWarning(lcEngine) << "the engine could not make a description for" << scope.peer().FId << "- error"
                            << error;
        return;
    }
    scope.peer().FClient->SdpCreated(scope.peer(), description);
}

void TPeer::OnSetSdp(void* arg, int error)
{
    CallbackScope scope(arg);
    if (!scope.closed() && error != 0)
        qCWarning(lcEngine) << "the description of" << scope.peer().FId << "was refused by the engine - error"
                            << error;
}

void TPeer::OnReceiveMessage(void* arg, const uint8_t* data, int size)
{
    CallbackScope scope(arg);
    if (!scope.closed())
        scope.peer().FClient->DataReceived(scope.peer(), data, size);
}

void TPeer::OnSetRemoteSize(void* arg, int width, int height)
{
    CallbackScope scope(arg);
    if (!scope.closed())
        scope.peer().FClient->RemoteFrameSizeChanged(scope.peer(), width, height);
}

void TPeer::OnRenderRemoteFrame(void* arg, const uint8_t* pixels)
{
    CallbackScope scope(arg);
    if (!scope.closed())
        scope.peer().FClient->RemoteFrameArrived(scope.peer(), pixels);
}

} // namespace corvala
