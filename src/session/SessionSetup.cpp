#include "session/SessionSetup.h"

#include "base/Log.h"
#include "i18n/Translator.h"
#include "settings/Settings.h"
#include "signalling/SignallingMessage.h"

#include <QRect>

#include <stdexcept>
#include <utility>

namespace corvala {

namespace {

QString filled(const char* english, const QString& value) {
    return translate(QString::fromLatin1(english)).replace(QStringLiteral("%s"), value);
}

QJsonObject payloadObject(const QString& payload) {
    return ParsePayloadObject(payload).value_or(QJsonObject());
}

}  // namespace

MonitorRect LocalScreens::Desktop() const {
    QRect desktop;
    for (const MonitorRect& m : Monitors)
        desktop |= QRect(m.left, m.top, m.width, m.height);
    return MonitorRect{desktop.left(), desktop.top(), desktop.width(), desktop.height()};
}

void ApplySessionInfo(TPeer& peer, const QJsonObject& sessionInfo) {
    const RemoteScreenLayout layout = ReadSessionInfo(sessionInfo);
    peer.MultipleMonitors.clear();
    for (const RemoteMonitor& m : layout.monitors)
        peer.MultipleMonitors.append(TPeerMonitor{m.primary, m.rect.left, m.rect.top, m.rect.width, m.rect.height});
    peer.MultipleMonitorsCount = int(peer.MultipleMonitors.size());
    peer.CurrentMonitor = layout.currentMonitor;
    if (!layout.monitors.isEmpty()) {
        peer.DesktopLeft = layout.desktopLeft;
        peer.DesktopTop = layout.desktopTop;
    }
    if (layout.desktopWidth)
        peer.DesktopWidth = *layout.desktopWidth;
    if (layout.desktopHeight)
        peer.DesktopHeight = *layout.desktopHeight;
}

TSessionSetup::TSessionSetup(SessionEnvironment values, ISessionEnvironment& env, ISessionEvents& events)
    : FValues(std::move(values)), FEnv(env), FUi(events), FGate(FValues.Now) {
    if (!FValues.settings || !FValues.rtc)
        throw std::invalid_argument("TSessionSetup needs settings and a component");
    refreshIdentity();
}

TSessionSetup::Identity TSessionSetup::refreshIdentity() {
    Identity fresh{FValues.settings->DeviceId.toStdU16String(), FValues.settings->DisplayName.toStdU16String(),
                   FEnv.MasterMode()};
    std::lock_guard lock(FIdentityMutex);
    FIdentity = fresh;
    return fresh;
}

TSessionSetup::Identity TSessionSetup::identity() const {
    std::lock_guard lock(FIdentityMutex);
    return FIdentity;
}

TRecentConnections TSessionSetup::recent() const {
    return TRecentConnections::FromCommaText(FValues.settings->RecentConnections);
}

bool TSessionSetup::send(const QString& msg, const QString& to, const QString& type, const QString& payload,
                         const QString& password, bool peerMessage) {
    const Identity me = identity();
    return FEnv.SendLine(GetMessage(QString::fromStdU16String(me.deviceId), msg, to, type, payload, password,
                                    peerMessage ? QString::fromStdU16String(me.displayName) : QString(),
                                    peerMessage ? QString::fromUtf16(wire::ProtocolVersion) : QString()));
}

bool TSessionSetup::sendPeer(const QString& to, const QString& type, const QString& payload,
                             const QString& password) {
    return send(QString::fromUtf16(wire::Message), to, type, payload, password, true);
}

void TSessionSetup::sendInit(const QString& id, const QString& password) {
    if (id.isEmpty())
        return;
    FSentPasswords.insert(id, password);
    sendPeer(id, QString::fromUtf16(wire::Init), {}, password);
}

void TSessionSetup::sendError(const QString& to, const QString& kind, const QString& receivedPassword) {
    send(QString::fromUtf16(wire::Message), to, QString::fromUtf16(wire::Error),
         ErrorObject{kind, receivedPassword}.toJson());
}

void TSessionSetup::replyTurn(const QString& to, const QString& password) {
    sendPeer(to, QString::fromUtf16(wire::Turn), OwnSessionInfo().toJson(), password);
}

SessionInfoPayload TSessionSetup::OwnSessionInfo() const {
    IceServer ice;
    const std::optional<OwnRelay> own = FEnv.RunningRelay();
    if (own)
        ice = IceServer{own->Password, own->UserName,
                        QStringLiteral("turn:") + own->PublicIP + u':' + QString::number(own->Port), std::nullopt};
    else if (FPublicRelay && !FPublicRelay->url.isEmpty())
        ice = IceServer{FPublicRelay->password, FPublicRelay->username, FPublicRelay->url, std::nullopt};
    const LocalScreens screens = FEnv.Screens();
    const bool lockScreen = FEnv.LockScreenMode();
    return SessionInfoPayload::Make(ice, screens.Monitors, screens.PrimaryIndex, lockScreen, FValues.MacAddressText);
}

void TSessionSetup::UpdateRecentEntryName(const QString& name, const QString& id) {
    TRecentConnections entries = recent();
    if (!entries.UpdateName(name, id))
        return;
    FValues.settings->RecentConnections = entries.ToCommaText();
    FEnv.SaveSettings();
}

// ---- viewer: the request -------------------------------------------------

bool TSessionSetup::ConnectAction(bool fromHostPanel) {
    refreshIdentity();
    if (!FEnv.ConnectedToSignalServer()) {
        FUi.ShowError(translate(QStringLiteral("Unable to connect to server. Please try again in a minute.")));
        return false;
    }
    auto confirmed = [this](const QString& text) { return FUi.Confirm(text); };
    if (!FEnv.MasterMode() && fromHostPanel) {
        if (FValues.rtc->PeerCount() > 0) {
            if (!confirmed(translate(QStringLiteral("All current connections will be closed. Do you want to continue?"))))
                return false;
            FUi.DisconnectAllPeers();
        }
        if (recent().IsEmpty()) {
            const QString question =
                translate(QStringLiteral("Do you want to connect to the remote computer to control it? If yes, click \"OK\".")) +
                QStringLiteral("\n\n") +
                translate(QStringLiteral("If you are waiting for a remote user to connect to your computer, click \"Cancel\"."));
            if (!confirmed(question))
                return false;
        }
        FEnv.SetMasterMode();
        FUi.SwitchToViewerLayout();
        refreshIdentity();
    }
    FUi.CloseVoiceWindow();
    const std::optional<ConnectRequest> confirmWith = std::exchange(FConfirmWith, std::nullopt);
    const auto result = FUi.ShowConnectionDialog(confirmWith);
    if (FValues.rtc->PeerCount() == 0)
        FUi.UpdateAliveButton();
    if (!result)
        return false;
    return ConnectConfirmed(result->idText, result->password);
}

void TSessionSetup::ConnectFromCommandLine(const ConnectRequest& request) {
    FCommandLineRequest = request;
    if (FEnv.ConnectedToSignalServer())
        SignallingJoined();
}

void TSessionSetup::SignallingJoined() {
    if (!FCommandLineRequest)
        return;
    FConfirmWith = std::exchange(FCommandLineRequest, std::nullopt);
    ConnectAction(true);
    FConfirmWith.reset();
}

bool TSessionSetup::ConnectConfirmed(const QString& idText, const QString& password) {
    refreshIdentity();
    FEnv.SaveSettings();
    FDialogIdText = idText;
    FDialogPassword = password;
    if (!FEnv.ConnectedToSignalServer())
        return false;
    if (FEnv.RunningRelay()) {
        sendInit(ExtractId(idText), password);
        return true;
    }
    return send(QString::fromUtf16(wire::GetPublicTurn), {}, QString::fromUtf16(wire::NewConnection),
                FEnv.CountryCode());
}

bool TSessionSetup::SendInitToCurrentPeer() {
    refreshIdentity();
    const QString id = FValues.rtc->CurrentViewingPeerID();
    const std::shared_ptr<TPeer> peer = id.isEmpty() ? nullptr : FValues.rtc->FindPeer(id);
    // A tab whose connection the engine ended still knows its host and the
    // password sent there.
    if (!peer && !HasTab(id))
        return false;
    sendInit(id, peer ? peer->Password : FSentPasswords.value(id));
    return true;
}

void TSessionSetup::TabClosed(const QString& id) { FTabbedHosts.remove(id); }

bool TSessionSetup::Reconnect(bool withoutSender) {
    refreshIdentity();
    if (!FEnv.ConnectedToSignalServer()) {
        FUi.ShowError(translate(QStringLiteral("Unable to connect to server. Please try again in a minute.")));
        return false;
    }
    if (withoutSender || FEnv.RunningRelay())
        return SendInitToCurrentPeer();
    return send(QString::fromUtf16(wire::GetPublicTurn), {}, {}, FEnv.CountryCode());
}

void TSessionSetup::SendInitAfterPublicTurn(bool newConnection) {
    if (newConnection) {
        refreshIdentity();
        sendInit(ExtractId(FDialogIdText), FDialogPassword);
    } else {
        SendInitToCurrentPeer();
    }
}

void TSessionSetup::ApplyIceServerFromPayload(const IceServer& relay, bool remember) {
    if (remember)
        FPublicRelay = IceServer{relay.password, relay.username, relay.url, std::nullopt};
    if (relay.url.isEmpty())
        return;
    const TIceServer server{relay.url, relay.username, relay.password};
    if (!remember && !FEnv.MasterMode()) {
        // A viewer's relay serves the sessions of this activation only, and
        // a viewer cannot grow the host's list without bound.
        if (!FValues.rtc->Active() || FSessionRelays.contains(relay.url))
            return;
        if (FSessionRelays.size() >= MaxSessionRelays) {
            qCWarning(lcSession) << "relay" << relay.url << "offered by a viewer dropped:" << MaxSessionRelays
                                 << "relays already added for the running sessions";
            return;
        }
        FSessionRelays.insert(relay.url);
        FValues.rtc->AddNewIceServer(server);
        return;
    }
    TIceServers& servers = FValues.rtc->IceServers();
    for (const TIceServer& s : servers)
        if (s.Url == relay.url)
            return;
    // The relays learned from servers and hosts stay few: the oldest learned
    // one makes room, the configured servers stay.
    if (FLearnedRelays.size() >= MaxLearnedRelays) {
        const QString oldest = FLearnedRelays.takeFirst();
        servers.removeIf([&oldest](const TIceServer& s) { return s.Url == oldest; });
    }
    FLearnedRelays.append(relay.url);
    const bool active = FValues.rtc->Active();
    // A host's own relay, offered in its "turn", goes right after the two
    // STUN servers so that it is tried before relays added earlier.
    const bool relayRunning = FEnv.RunningRelay().has_value();
    if (!remember && FEnv.MasterMode() && !relayRunning && servers.size() > 2 && !active)
        servers.insert(2, server);
    else
        servers.append(server);
    if (active)
        FValues.rtc->AddNewIceServer(server);
}

// ---- dispatch ------------------------------------------------------------

void TSessionSetup::HandlePeerMessage(const QJsonObject& message) {
    const Identity me = refreshIdentity();
    const TPeerMessage m = TPeerMessage::FromObject(message);
    if (m.from.isEmpty())
        return;
    if (me.masterMode)
        handleAsViewer(m);
    else
        handleAsHost(m);
}

void TSessionSetup::handleAsViewer(const TPeerMessage& m) {
    // A viewer talks only to hosts it has sent "init" to in this run; any
    // other sender would learn this side's session information or get a
    // password typed for someone else.
    if (!FSentPasswords.contains(m.from)) {
        qCWarning(lcSession) << "peer message" << m.type << "from" << m.from
                             << "dropped: this viewer did not ask for that host";
        return;
    }
    handleAdmitted(m, &TSessionSetup::viewerTurn);
}

void TSessionSetup::handleAsHost(const TPeerMessage& m) {
    const Settings& s = *FValues.settings;
    if (const auto refusal = FGate.Check(m.from, m.password, {s.WhiteListEnabled, s.WhiteList, s.HostPassword})) {
        sendError(m.from, *refusal, m.password);
        return;
    }
    handleAdmitted(m, &TSessionSetup::hostTurn);
}

void TSessionSetup::handleAdmitted(const TPeerMessage& m, TurnHandler turn) {
    if (m.type == QStringView(wire::Init)) {
        replyTurn(m.from, {});
        return;
    }
    const QJsonObject payload = payloadObject(m.payload);
    if (m.type == QStringView(wire::Turn))
        (this->*turn)(m, payload);
    else
        handleCommon(m, payload);
}

void TSessionSetup::handleCommon(const TPeerMessage& m, const QJsonObject& payload) {
    IRtcClientPort& rtc = *FValues.rtc;
    if (m.type == QStringView(wire::Offer)) {
        rtc.CreateAnswer(m.from, MemberText(payload, u"type"), MemberText(payload, u"sdp"));
    } else if (m.type == QStringView(wire::Answer)) {
        rtc.SetRemoteSDP(m.from, MemberText(payload, u"type"), MemberText(payload, u"sdp"));
    } else if (m.type == QStringView(wire::Candidate)) {
        if (const auto c = CandidateObject::FromJson(m.payload))
            rtc.AddIceCandidate(m.from, c->id, c->label, c->candidate);
    } else if (m.type == QStringView(wire::Error)) {
        const auto warning = AdmissionErrorWarning(MemberText(payload, u"type"), MemberText(payload, u"payload"),
                                                   SentPassword(m.from));
        if (warning)
            FUi.ShowWarning(*warning);
    }
}

// ---- the two "turn"s -----------------------------------------------------

std::shared_ptr<TPeer> TSessionSetup::makePeer(const TPeerMessage& m, bool demonstrationMode) {
    const int endPoint = FValues.rtc->FindEndPoint();
    if (endPoint >= TWebRtcClientVcl::kEndPointCount) {
        qCWarning(lcSession) << "no peer for" << m.from << "- all" << TWebRtcClientVcl::kEndPointCount
                             << "end points are in use";
        return nullptr;
    }
    std::shared_ptr<TPeer> peer;
    try {
        peer = FValues.rtc->AddPeer(m.from, endPoint);
    } catch (const std::exception& error) {
        qCWarning(lcSession) << "no peer for" << m.from << "-" << error.what();
        return nullptr;
    }
    if (!peer)
        return nullptr;
    peer->UserName = m.username;
    peer->Alive = true;
    peer->NeedToReconnect = false;
    peer->DemonstrationMode = demonstrationMode;
    peer->AppVersion = m.appVersion();
    return peer;
}

void TSessionSetup::activateSource(bool hostSide) {
    const MonitorRect desktop = FEnv.Screens().Desktop();
    StreamSource source;
    source.MaxWidth = desktop.width;
    source.MaxHeight = desktop.height;
    source.MaxFramerate = FEnv.FrameRate();
    source.VideoCallEnabled = hostSide;
    source.CameraId = ScreenSourceId;
    if (hostSide && FEnv.LockScreenMode()) {
        source.CameraId = CopyWindowSourceId;
        source.CameraSource = FUi.ShowDesktopCopyWindow();
    }
    FSessionRelays.clear();
    qCInfo(lcSession) << "activating the component: source" << source.CameraId << "up to" << source.MaxWidth << "x"
                      << source.MaxHeight << "at" << source.MaxFramerate << "frames a second, video"
                      << source.VideoCallEnabled;
    FValues.rtc->Activate(source);
}

void TSessionSetup::viewerTurn(const TPeerMessage& m, const QJsonObject& payload) {
    IRtcClientPort& rtc = *FValues.rtc;
    ApplyIceServerFromPayload(IceServer::FromObject(payload), false);
    if (!rtc.Active())
        activateSource(false);

    const std::shared_ptr<TPeer> old = rtc.FindPeer(m.from);
    if (old || HasTab(m.from)) {
        // A repeated "init" (or one after the engine ended the connection):
        // new peer, same tab, same password.
        const QString kept = old ? old->Password : FSentPasswords.value(m.from);
        if (old)
            rtc.EndCall(m.from);
        if (const auto peer = makePeer(m, m.isMobile())) {
            rtc.SetCurrentViewingPeerID(m.from);
            peer->Password = kept;
            FUi.ResetFrameWatch(m.from);
            ApplySessionInfo(*peer, payload);
            FUi.UpdateMonitorMenu(m.from);
            FUi.SelectTab(m.from);
        }
    } else if (const auto peer = makePeer(m, false)) {
        const QString entry = MakeEntry(m.username, m.from);
        FUi.AddTab(entry, m.from);
        FTabbedHosts.insert(m.from);
        rtc.SetCurrentViewingPeerID(m.from);
        peer->Password = FSentPasswords.value(m.from);
        rtc.SetMicrophone(*peer, false);
        FUi.ResetFrameWatch(m.from);
        FUi.ClearPressedKeys();
        ApplySessionInfo(*peer, payload);
        FUi.RememberWakeOnLan(m.from, MemberText(payload, u"hw_macaddress"));
        FUi.UpdateMonitorMenu(m.from);
        FUi.LogConnection(filled("Outgoing connection to %s", entry));
        if (m.isMobile()) {
            peer->DemonstrationMode = true;
            FUi.ShowNonModalWarning(
                 translate(QStringLiteral("Remote side is running in the Demonstration mode. Your remote partner can "
                                          "hear you. You can ask him to perform certain actions on his mobile device.")));
            FUi.OpenVoiceWindow(m.from);
        }
        UpdateRecentEntryName(m.username, m.from);
        FUi.RefreshChatRecipients();
    }

    const std::shared_ptr<TPeer> peer = rtc.FindPeer(m.from);
    replyTurn(m.from, peer ? peer->Password : SentPassword(m.from));
}

void TSessionSetup::hostTurn(const TPeerMessage& m, const QJsonObject& payload) {
    IRtcClientPort& rtc = *FValues.rtc;
    if (!rtc.Active())
        activateSource(true);
    ApplyIceServerFromPayload(IceServer::FromObject(payload), false);
    const bool lockScreen = FEnv.LockScreenMode();

    std::shared_ptr<TPeer> peer;
    if (rtc.FindPeer(m.from)) {
        // The same viewer again: replace its peer, no second log line.
        rtc.EndCall(m.from);
        peer = makePeer(m, false);
        if (peer && m.isMobile())
            FUi.DriveMagnifier(!lockScreen);
    } else if ((peer = makePeer(m, false))) {
        FUi.ShowWindowForSession();
        FUi.ClearBookUnlocked();
        FUi.LogConnection(filled("Incoming connection from %s", MakeEntry(m.username, m.from)));
        FUi.CollapseForSession();
        rtc.SetMicrophone(*peer, FUi.VoiceWindowShowing());
        if (m.isMobile())
            FUi.DriveMagnifier(!lockScreen);
        UpdateRecentEntryName(m.username, m.from);
        FUi.RefreshChatRecipients();
    }
    // Without a free end point there is no peer to offer for; the viewer's
    // "turn" then simply goes unanswered.
    if (peer)
        rtc.CreateOffer(m.from);
}

// ---- engine-thread writers -----------------------------------------------

void TSessionSetup::rtcClientSdpCreateSuccess(TPeer* peer, const QString& sdpType, const QString& sdpDescription) {
    if (!peer)
        return;
    const bool viewer = identity().masterMode;
    sendPeer(peer->Id(), sdpType, SdpObject{sdpType, sdpDescription}.toJson(), viewer ? peer->Password : QString());
}

void TSessionSetup::rtcClientIceCandidate(TPeer* peer, int aLabel, const QString& aid, const QString& aCandidate) {
    if (!peer)
        return;
    const bool viewer = identity().masterMode;
    sendPeer(peer->Id(), QString::fromUtf16(wire::Candidate), CandidateObject{aLabel, aid, aCandidate}.toJson(),
             viewer ? peer->Password : QString());
}

}  // namespace corvala
