#include "media/WebrtcClientVcl.h"

#include "media/MediaLibraryLoader.h"
#include "media/SdpRewriting.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace corvala {
namespace {

std::once_flag gRtcInitOnce;

QByteArray Utf8(const QString& text)
{
    return text.toUtf8();
}

const char* Flag(bool value)
{
    return value ? "true" : "false";
}

// Copies width x height packed 32-bit pixels into a picture of that size.
void CopyRows(QImage& target, const uint8_t* pixels)
{
    const int rowBytes = target.width() * 4;
    for (int row = 0; row < target.height(); ++row)
        std::memcpy(target.scanLine(row), pixels + static_cast<std::size_t>(row) * rowBytes, rowBytes);
}

void ResizeFrame(QImage& frame, int width, int height)
{
    if (width <= 0 || height <= 0)
        frame = QImage();
    else if (frame.size() != QSize(width, height))
        frame = QImage(width, height, QImage::Format_RGB32);
}

} // namespace

std::mutex& FrameLock()
{
    static std::mutex lock;
    return lock;
}

TWebRtcClientVcl::TWebRtcClientVcl(const QString& programFolder, bool designing)
    : FDesigning(designing)
{
    if (!FDesigning) {
        const RtcApi& rtc = MediaLibraryLoader(programFolder);
        std::call_once(gRtcInitOnce, [&rtc] { rtc.rtc_init(); });
        rtc.rtc_set_debug_level(2);
        FAudioModule = rtc.rtc_create_audio_module();
    }
    FLocalRenderer.arg = this;
    FLocalRenderer.set_size = &TWebRtcClientVcl::OnLocalSetSize;
    FLocalRenderer.render_frame = &TWebRtcClientVcl::OnLocalRenderFrame;
    // Remote records are copied per track with `arg` = that track's peer.
    FRemoteRenderer.arg = nullptr;
    FRemoteRenderer.set_size = &TPeer::OnSetRemoteSize;
    FRemoteRenderer.render_frame = &TPeer::OnRenderRemoteFrame;
    FStatsCallback.arg = this;
    FStatsCallback.get_stats = &TWebRtcClientVcl::OnStatsValue;
    FStatsCallback.complete = &TWebRtcClientVcl::OnStatsComplete;
}

TWebRtcClientVcl::~TWebRtcClientVcl()
{
    SetActive(false);
    if (!FDesigning) {
        const RtcApi& rtc = Rtc();
        rtc.rtc_destroy_audio_module(FFileAudioModule);
        rtc.rtc_destroy_audio_module(FAudioModule);
    }
    std::lock_guard lock(FPeersMutex);
    FClosedPeers.clear();
}

void TWebRtcClientVcl::SetActive(bool value)
{
    if (value == FActive)
        return;
    if (value) {
        FActive = true;
        Activate();
    } else {
        Deactivate();
        FActive = false;
    }
}

QString TWebRtcClientVcl::CurrentViewingPeerID() const
{
    std::lock_guard lock(FViewingMutex);
    return FCurrentViewingPeerID;
}

void TWebRtcClientVcl::SetCurrentViewingPeerID(const QString& id)
{
    std::lock_guard lock(FViewingMutex);
    FCurrentViewingPeerID = id;
}

bool TWebRtcClientVcl::IsCurrentViewingPeer(const QString& id) const
{
    std::lock_guard lock(FViewingMutex);
    return FCurrentViewingPeerID == id;
}

void TWebRtcClientVcl::Activate()
{
    // Peers only live while active; any left from before are ended.
    for (const QString& id : Peers.Keys())
        ClosePeer(id, nullptr, true);
    if (FDesigning)
        return;
    const RtcApi& rtc = Rtc();

    if (FAudioSourceIndex == kAudioSourceFile) {
        // The factory that used the previous file module is gone by now.
        if (FFileAudioModule)
            rtc.rtc_destroy_audio_module(FFileAudioModule);
        FFileAudioModule = rtc.rtc_create_file_audio_module(Utf8(LocalAudioFile).constData());
        FFactory = rtc.rtc_create_factory(FFileAudioModule);
    } else {
        FFactory = rtc.rtc_create_factory(FAudioModule);
    }

    FIceServers = rtc.rtc_create_iceservers();
    for (const TIceServer& server : IceServers)
        rtc.rtc_add_iceserver(FIceServers, Utf8(server.Url).constData(), Utf8(server.UserName).constData(),
                              Utf8(server.Password).constData());

    FPcConstraints = rtc.rtc_create_constraints();
    const rtc_handle mandatory = rtc.rtc_get_options(FPcConstraints, 1);
    rtc.rtc_add_option(mandatory, "OfferToReceiveAudio", Flag(PeerConnectionConstraints.ReceiveAudio));
    rtc.rtc_add_option(mandatory, "OfferToReceiveVideo", Flag(PeerConnectionConstraints.ReceiveVideo));
    const rtc_handle optional = rtc.rtc_get_options(FPcConstraints, 0);
    rtc.rtc_add_option(optional, "DtlsSrtpKeyAgreement", Flag(PeerConnectionConstraints.DtlsSrtpKeyAgreement));

    CreateLocalStream();
}

void TWebRtcClientVcl::CreateLocalStream()
{
    const RtcApi& rtc = Rtc();
    if (FLocalStream)
        rtc.rtc_destroy_stream(FLocalStream);
    FLocalStream = rtc.rtc_create_stream(FFactory, "ARDAMS");
    FLocalVideoTrack = 0;
    FLocalAudioTrack = 0;

    // Screen (999) and window (998) sources need no camera.
    FCameraCount = rtc.rtc_capturer_count();
    if (FCameraCount == 0 && CameraId < 998)
        VideoCallEnabled = false;

    if (VideoCallEnabled) {
        const TVideoConstraints& vc = VideoConstraints;
        const rtc_handle constraints = rtc.rtc_create_constraints();
        const rtc_handle mandatory = rtc.rtc_get_options(constraints, 1);
        const std::pair<const char*, int> options[] = {
            {"maxHeight", vc.MaxHeight}, {"maxWidth", vc.MaxWidth},
            {"maxFrameRate", vc.MaxFramerate}, {"minFrameRate", vc.MinFramerate}};
        for (const auto& [key, value] : options)
            if (value != 0)
                rtc.rtc_add_option(mandatory, key, std::to_string(value).c_str());

        const int width = vc.MaxWidth ? vc.MaxWidth : 640;
        const int height = vc.MaxHeight ? vc.MaxHeight : 480;
        const int fps = vc.MinFramerate ? vc.MinFramerate : (vc.MaxFramerate ? vc.MaxFramerate : 30);
        if (FVideoSource)
            rtc.rtc_destroy_source(FVideoSource);
        FVideoSource = CameraId == RTC_SOURCE_VIRTUAL
            ? rtc.rtc_create_virtual_source(width, height, fps, &CaptureCallback)
            : rtc.rtc_create_source(width, height, fps, CameraId, CameraSource);
        // The source takes its limits as arguments; nothing else ever
        // receives this object, so it does not outlive the source's making.
        rtc.rtc_destroy_constraints(constraints);
        if (FVideoSource) {
            FLocalVideoTrack = rtc.rtc_create_videotrack(FFactory, FVideoSource, "ARDAMSv0");
            rtc.rtc_add_videotrack(FLocalStream, FLocalVideoTrack);
        }
    }

    if (AudioCallEnabled) {
        FLocalAudioTrack = rtc.rtc_create_audiotrack(FFactory, "ARDAMSa0");
        rtc.rtc_add_audiotrack(FLocalStream, FLocalAudioTrack);
    }

    if (VideoCallEnabled && FLocalVideoTrack) {
        rtc.rtc_add_renderer(FLocalVideoTrack, &FLocalRenderer);
        if (OnAddLocalStream)
            OnAddLocalStream(this);
    }
}

void TWebRtcClientVcl::Deactivate()
{
    for (const QString& id : Peers.Keys())
        ClosePeer(id, nullptr, true);
    if (!FDesigning) {
        const RtcApi& rtc = Rtc();
        rtc.rtc_destroy_stream(FLocalStream);
        FLocalStream = 0;
        rtc.rtc_destroy_constraints(FPcConstraints);
        FPcConstraints = 0;
        rtc.rtc_destroy_iceservers(FIceServers);
        FIceServers = 0;
        rtc.rtc_destroy_factory(FFactory);
        FFactory = 0;
        // Sources belong to no factory: a screen source keeps its X
        // connection and capture thread until it is destroyed.
        rtc.rtc_destroy_source(FVideoSource);
        FVideoSource = 0;
        FLocalVideoTrack = 0;
        FLocalAudioTrack = 0;
    }
    ReleaseClosedPeers();
}

int TWebRtcClientVcl::FindEndPoint() const
{
    std::lock_guard lock(FPeersMutex);
    const auto free = std::find(FEndPoints.begin(), FEndPoints.end(), false);
    return static_cast<int>(free - FEndPoints.begin());
}

void TWebRtcClientVcl::MarkEndPoint(int endPoint, bool used)
{
    std::lock_guard lock(FPeersMutex);
    FEndPoints[endPoint] = used;
}

std::shared_ptr<TPeer> TWebRtcClientVcl::AddPeer(const QString& id, int endPoint)
{
    if (!FActive)
        throw std::logic_error("peers exist only while the component is active");
    if (endPoint < 0 || endPoint >= kEndPointCount)
        throw std::logic_error("no free end point for peer " + id.toStdString());
    if (Peers.Contains(id))
        throw std::logic_error("peer " + id.toStdString() + " already exists");
    {
        std::lock_guard lock(FPeersMutex);
        if (FEndPoints[endPoint])
            throw std::logic_error("end point " + std::to_string(endPoint) + " is in use");
    }

    auto peer = std::make_shared<TPeer>(static_cast<IWebrtcClient*>(this), id, endPoint);
    if (!FDesigning) {
        const RtcApi& rtc = Rtc();
        peer->FPc = rtc.rtc_create_peerconnection(FFactory, FIceServers, &peer->FPcObserver);
        peer->FDataChannel = rtc.rtc_create_datachannel(peer->FPc, "DataChannel", &peer->FDCObserver);
        rtc.rtc_add_stream(peer->FPc, FLocalStream);
    }
    StatusChanged(*peer, TWebrtcState::CONNECTING);
    Peers.Add(id, peer);
    peer->FLocalVideoTrack = FLocalVideoTrack;
    peer->FLocalAudioTrack = FLocalAudioTrack;
    MarkEndPoint(endPoint, true);
    return peer;
}

void TWebRtcClientVcl::ClosePeer(const QString& id, const TPeer& expected)
{
    ClosePeer(id, &expected, false);
}

void TWebRtcClientVcl::ClosePeer(const QString& id, const TPeer* expected, bool onMainThread)
{
    // The main thread (EndCall, deactivation) and an engine thread (remote
    // stream removed) may both try; only the one that removes it goes on.
    const std::shared_ptr<TPeer> peer = Peers.Remove(id, expected);
    if (!peer)
        return;
    peer->FClosed = true;
    if (onMainThread) {
        peer->MultipleMonitors.clear();
        peer->MultipleMonitorsCount = 0;
    }
    if (OnRemoveRemoteStream)
        OnRemoveRemoteStream(peer.get());
    if (!FDesigning) {
        const RtcApi& rtc = Rtc();
        if (const rtc_handle stream = peer->FRemoteStream.exchange(0))
            rtc.rtc_destroy_stream(stream);
        rtc.rtc_close(peer->FPc);
    }
    std::lock_guard lock(FPeersMutex);
    FEndPoints[peer->FEndPoint] = false;
    FClosedPeers.push_back(peer);
}

void TWebRtcClientVcl::ReleaseClosedPeers()
{
    // A callback may still be running for a closed peer (blocked on the main
    // thread); such a peer is kept until a later deactivation or the end.
    std::lock_guard lock(FPeersMutex);
    std::erase_if(FClosedPeers, [](const std::shared_ptr<TPeer>& p) { return p->FCallbacksInFlight.load() == 0; });
}

void TWebRtcClientVcl::EndCall(const QString& id)
{
    ClosePeer(id, nullptr, true);
}

bool TWebRtcClientVcl::CreateOffer(const QString& peerId)
{
    const auto peer = Peers.Find(peerId);
    if (!peer)
        return false;
    if (!FDesigning)
        Rtc().rtc_create_offer(peer->FPc, &peer->FSdpObserver);
    return true;
}

bool TWebRtcClientVcl::CreateAnswer(const QString& peerId, const QString& sdpType, const QString& sdp)
{
    if (!SetRemoteSDP(peerId, sdpType, sdp))
        return false;
    const auto peer = Peers.Find(peerId);
    if (!peer)
        return false;
    if (!FDesigning)
        Rtc().rtc_create_answer(peer->FPc, &peer->FSdpObserver);
    return true;
}

bool TWebRtcClientVcl::SetRemoteSDP(const QString& peerId, const QString& sdpType, const QString& sdp)
{
    const auto peer = Peers.Find(peerId);
    if (!peer)
        return false;
    if (!FDesigning) {
        const RtcApi& rtc = Rtc();
        const std::string text = RewriteRemoteDescription(sdp.toUtf8().toStdString());
        const rtc_handle description = rtc.rtc_create_sdp(Utf8(sdpType).constData(), text.c_str());
        rtc.rtc_set_sdp(peer->FPc, description, 0, &peer->FSdpObserver);
    }
    return true;
}

bool TWebRtcClientVcl::AddIceCandidate(const QString& peerId, const QString& aid, int alabel,
                                       const QString& acandidate)
{
    const auto peer = Peers.Find(peerId);
    if (!peer)
        return false;
    if (!FDesigning) {
        const RtcApi& rtc = Rtc();
        const rtc_handle candidate =
            rtc.rtc_create_candidate(Utf8(aid).constData(), alabel, Utf8(acandidate).constData());
        rtc.rtc_add_candidate(peer->FPc, candidate);
    }
    return true;
}

bool TWebRtcClientVcl::GetStats(const QString& peerId)
{
    const auto peer = Peers.Find(peerId);
    if (!peer)
        return false;
    if (!FDesigning)
        Rtc().rtc_get_stats(peer->FPc, &FStatsCallback);
    return true;
}

void TWebRtcClientVcl::SetTrackState(rtc_handle Track, bool Enable)
{
    if (!FDesigning)
        Rtc().rtc_track_setstate(Track, Enable ? 1 : 0);
}

void TWebRtcClientVcl::AddNewIceServer(const QString& strURL, const QString& strUsername, const QString& strPassword)
{
    if (FActive && !FDesigning)
        Rtc().rtc_add_iceserver(FIceServers, Utf8(strURL).constData(), Utf8(strUsername).constData(),
                                Utf8(strPassword).constData());
}

int TWebRtcClientVcl::GetAudioSourceCount() const
{
    return FDesigning ? 0 : Rtc().rtc_audio_source_count(FAudioModule);
}

QString TWebRtcClientVcl::GetAudioSourceName(int index) const
{
    if (FDesigning)
        return QString();
    char name[RTC_NAME_BUFFER] = {};
    Rtc().rtc_audio_source_name(FAudioModule, name, index);
    name[RTC_NAME_BUFFER - 1] = '\0';
    return QString::fromUtf8(name);
}

void TWebRtcClientVcl::SetAudioSource(int index)
{
    if (index != kAudioSourceFile && !FDesigning)
        Rtc().rtc_set_audio_source(FAudioModule, index);
    FAudioSourceIndex = index;
}

std::string TWebRtcClientVcl::RewriteLocalDescription(const std::string& sdp) const
{
    std::string text = sdp;
    if (AudioCodec == TAudioCodec::ISAC)
        text = PreferCodec(text, "ISAC", true);
    if (VideoCodec == TVideoCodec::H264 && VideoCallEnabled)
        text = PreferCodec(text, "H264", false);
    return text;
}

std::string TWebRtcClientVcl::RewriteRemoteDescription(const std::string& sdp) const
{
    std::string text = RewriteLocalDescription(sdp);
    if (VideoCallEnabled && VideoBitrate > 0)
        for (const char* codec : {"VP8", "VP9", "H264"})
            text = SetCodecBitrate(codec, true, VideoBitrate, text);
    if (AudioBitrate > 0)
        text = SetCodecBitrate("opus", false, AudioBitrate, text);
    return text;
}

void TWebRtcClientVcl::DrawFrame(int SrcLeft, int SrcTop, int SrcWidth, int SrcHeight, QImage& Dst, bool Local)
{
    std::lock_guard lock(FrameLock());
    const QImage& source = Local ? FLocalFrame : FRemoteFrame;
    if (source.isNull())
        return;
    QImage stretched;
    if (SrcLeft != 0 || SrcTop != 0 || SrcWidth != 0 || SrcHeight != 0) {
        stretched = source.copy(SrcLeft, SrcTop, SrcWidth, SrcHeight)
                        .scaled(Dst.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else if (Dst.size() == source.size()) {
        if (Dst.format() != QImage::Format_RGB32)
            Dst = QImage(source.size(), QImage::Format_RGB32);
        std::memcpy(Dst.bits(), source.constBits(), static_cast<std::size_t>(source.sizeInBytes()));
        return;
    } else {
        stretched = source.scaled(Dst.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (!Dst.isNull() && Dst.format() != stretched.format())
        stretched.convertTo(Dst.format());
    Dst = stretched;
}

void TWebRtcClientVcl::DrawVideo(bool Remote, const uint8_t* rgb)
{
    std::lock_guard lock(FrameLock());
    QImage& target = Remote ? FRemoteFrame : FLocalFrame;
    if (!target.isNull())
        CopyRows(target, rgb);
}

void TWebRtcClientVcl::SetRemoteFrameSize(int Width, int Height)
{
    std::lock_guard lock(FrameLock());
    ResizeFrame(FRemoteFrame, Width, Height);
}

QSize TWebRtcClientVcl::RemoteFrameSize() const
{
    std::lock_guard lock(FrameLock());
    return FRemoteFrame.size();
}

QSize TWebRtcClientVcl::LocalFrameSize() const
{
    std::lock_guard lock(FrameLock());
    return FLocalFrame.size();
}

void TWebRtcClientVcl::ReportError(const QString& Error)
{
    if (OnError)
        OnError(this, Error);
}

// ---- engine callbacks (engine threads) -------------------------------------

void TWebRtcClientVcl::DataReceived(TPeer& peer, const uint8_t* data, int size)
{
    if (!OnReceiveData)
        return;
    const QByteArray bytes(reinterpret_cast<const char*>(data), std::max(size, 0));
    OnReceiveData(&peer, bytes);
}

void TWebRtcClientVcl::StatusChanged(TPeer& peer, TWebrtcState state)
{
    if (OnStatusChanged)
        OnStatusChanged(&peer, state);
}

void TWebRtcClientVcl::SdpCreated(TPeer& peer, rtc_handle description)
{
    const RtcApi& rtc = Rtc();
    // The engine's own description is applied; only the copy sent to the
    // other side is rewritten.
    rtc.rtc_set_sdp(peer.FPc, description, 1, &peer.FSdpObserver);
    char type[RTC_TEXT_BUFFER] = {};
    char text[RTC_TEXT_BUFFER] = {};
    rtc.rtc_get_sdp(description, type, text);
    type[RTC_TEXT_BUFFER - 1] = text[RTC_TEXT_BUFFER - 1] = '\0';
    const std::string rewritten = RewriteLocalDescription(text);
    if (OnSdpCreateSuccess)
        OnSdpCreateSuccess(&peer, QString::fromUtf8(type), QString::fromStdString(rewritten));
}

void TWebRtcClientVcl::IceCandidateFound(TPeer& peer, rtc_handle candidate)
{
    if (!OnIceCandidate)
        return;
    int index = 0;
    char mid[RTC_TEXT_BUFFER] = {};
    char line[RTC_TEXT_BUFFER] = {};
    Rtc().rtc_get_candidate(candidate, &index, mid, line);
    mid[RTC_TEXT_BUFFER - 1] = line[RTC_TEXT_BUFFER - 1] = '\0';
    OnIceCandidate(&peer, index, QString::fromUtf8(mid), QString::fromUtf8(line));
}

void TWebRtcClientVcl::RemoteStreamAdded(TPeer& peer, rtc_handle stream)
{
    const RtcApi& rtc = Rtc();
    // Each peer keeps its own remote stream, so a second viewer's or host's
    // stream does not release the first one's.
    const rtc_handle previous = peer.FRemoteStream.exchange(stream);
    if (previous && previous != stream)
        rtc.rtc_destroy_stream(previous);
    if (const rtc_handle video = rtc.rtc_get_videotrack(stream, RTC_TRACK_VIDEO)) {
        peer.FRemoteVideoTrack = video;
        VideoRendererCallback renderer = FRemoteRenderer;
        renderer.arg = &peer;
        rtc.rtc_add_renderer(video, &renderer);
    }
    peer.FRemoteAudioTrack = rtc.rtc_get_videotrack(stream, RTC_TRACK_AUDIO);
    if (OnAddRemoteStream)
        OnAddRemoteStream(&peer);
}

void TWebRtcClientVcl::RemoteFrameSizeChanged(TPeer& peer, int width, int height)
{
    peer.FFrameWidth = width;
    peer.FFrameHeight = height;
    // The picture shows the viewed peer only: another peer's new size would
    // blank it until the viewed peer's next frame.
    if (IsCurrentViewingPeer(peer.FId))
        SetRemoteFrameSize(width, height);
}

void TWebRtcClientVcl::RemoteFrameArrived(TPeer& peer, const uint8_t* pixels)
{
    if (!IsCurrentViewingPeer(peer.FId))
        return;
    if (!peer.Alive)
        peer.Alive = true;
    {
        std::lock_guard lock(FrameLock());
        ResizeFrame(FRemoteFrame, peer.FFrameWidth, peer.FFrameHeight);
        if (FRemoteFrame.isNull())
            return;
        CopyRows(FRemoteFrame, pixels);
    }
    if (OnRenderFrame)
        OnRenderFrame(this, false, false, 0, peer.FId);
}

void TWebRtcClientVcl::OnLocalSetSize(void* arg, int width, int height)
{
    auto* self = static_cast<TWebRtcClientVcl*>(arg);
    std::lock_guard lock(FrameLock());
    ResizeFrame(self->FLocalFrame, width, height);
}

void TWebRtcClientVcl::OnLocalRenderFrame(void* arg, const uint8_t* pixels)
{
    auto* self = static_cast<TWebRtcClientVcl*>(arg);
    {
        std::lock_guard lock(FrameLock());
        if (self->FLocalFrame.isNull())
            return;
        CopyRows(self->FLocalFrame, pixels);
    }
    if (self->OnRenderFrame)
        self->OnRenderFrame(self, true, false, 0, QString());
}

void TWebRtcClientVcl::OnStatsValue(void* arg, const char* id, int64_t ts, const char* type, const char* key,
                                    const char* value)
{
    auto* self = static_cast<TWebRtcClientVcl*>(arg);
    if (self->OnGetStats)
        self->OnGetStats(self, QString::fromUtf8(id), ts, QString::fromUtf8(type), QString::fromUtf8(key),
                         QString::fromUtf8(value));
}

void TWebRtcClientVcl::OnStatsComplete(void*) {}

} // namespace corvala
