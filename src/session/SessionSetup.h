#pragma once
// Session set-up over the signalling link, both roles, without any window.
//
// Viewer: the connect action, "getpublicturn"/"publicturn"/"init", the host's
// "turn" (peer and tab), "offer" -> answer, candidates, the host's refusals.
// Host: the gate in front of every peer message (AdmissionGate.h), "init" ->
// "turn", the viewer's "turn" (source activation, peer, offer), "answer",
// candidates. Both: the relay intake ApplyIceServerFromPayload and the
// writers of "offer"/"answer"/"candidate", which run on the media engine's
// threads.
//
// The core owns one TSessionSetup: the signalling dispatch calls
// HandlePeerMessage, ApplyIceServerFromPayload and SendInitAfterPublicTurn;
// the component's description and candidate events call the two writers;
// what the windows and other modules must do goes to ISessionEvents.
// Everything except the two writers runs on the main thread.

#include "session/ConnectionEntries.h"
#include "session/AdmissionGate.h"
#include "session/ConnectArguments.h"
#include "session/PeerMessage.h"
#include "media/RtcClientPort.h"
#include "signalling/WirePayloads.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace corvala {

class Settings;

// The computer's monitors (XRandR on Linux).
struct LocalScreens {
    QList<MonitorRect> Monitors;
    int PrimaryIndex = 0;
    // The bounding rectangle of all monitors.
    MonitorRect Desktop() const;
};

// The host's own relay while it runs.
struct OwnRelay {
    QString PublicIP;
    int Port = 0;
    QString UserName;
    QString Password;
};

// What session set-up reads and where it writes; the core implements it.
class ISessionEnvironment {
public:
    // Writes one signalling line (CR LF added by the link). Called from the
    // main thread and from engine threads.
    virtual bool SendLine(const QByteArray& line) = 0;
    virtual bool ConnectedToSignalServer() const = 0;  // FConnectedToSignalServer
    virtual bool SaveSettings() = 0;
    virtual bool MasterMode() const = 0;
    virtual void SetMasterMode() = 0;
    virtual bool LockScreenMode() const = 0;
    // The own relay while it runs.
    virtual std::optional<OwnRelay> RunningRelay() const = 0;
    virtual QString CountryCode() const = 0;
    virtual LocalScreens Screens() const = 0;
    // The frame rate the user chose for the host's screen.
    virtual int FrameRate() const = 0;

protected:
    ~ISessionEnvironment() = default;
};

// What the connection dialog answers when confirmed.
struct ConnectionDialogResult {
    QString idText;
    QString password;
};

// What session set-up asks of the windows and the other modules; the core
// implements it.
class ISessionEvents {
public:
    // Message boxes; texts arrive translated and filled.
    virtual void ShowWarning(const QString& text) = 0;  // modal
    virtual void ShowNonModalWarning(const QString& text) = 0;
    virtual void ShowError(const QString& text) = 0;  // modal
    virtual bool Confirm(const QString& text) = 0;    // modal; true = OK
    // Connection log (the log adds the date and time in front and saves).
    virtual void LogConnection(const QString& text) = 0;
    virtual void RefreshChatRecipients() = 0;
    // LastFrameTime := now for the peer.
    virtual void ResetFrameWatch(const QString& id) = 0;

    // Viewer.
    // Host panel's connect while viewers are connected: EventsSuspended,
    // "DISCONNECT" to every peer, wait, deactivate the component, wait, clear.
    virtual void DisconnectAllPeers() = 0;
    // MasterMode was just set: the viewer layout.
    virtual void SwitchToViewerLayout() = 0;
    virtual void CloseVoiceWindow() = 0;
    // Shows the connection dialog modally; nothing when cancelled, else its
    // ID text and password (the dialog has updated RecentConnections). With
    // `confirmWith` the dialog is pre-filled and confirmed at once.
    virtual std::optional<ConnectionDialogResult> ShowConnectionDialog(
        const std::optional<ConnectRequest>& confirmWith) = 0;
    virtual void UpdateAliveButton() = 0;
    // Shows the remote-screens panel and the viewer toolbar, adds a tab with
    // the caption at the end and selects it.
    virtual void AddTab(const QString& caption, const QString& id) = 0;
    // Selects the tab whose caption contains "(" + id + ")".
    virtual void SelectTab(const QString& id) = 0;
    virtual void ClearPressedKeys() = 0;
    virtual void UpdateMonitorMenu(const QString& id) = 0;
    // Hands the ID and the host's MAC text to the Wake-on-LAN table.
    virtual void RememberWakeOnLan(const QString& id, const QString& macAddress) = 0;
    virtual void OpenVoiceWindow(const QString& id) = 0;

    // Host.
    // LockScreenMode: size the desktop copy window to the desktop, place it at
    // (0, 0), show it, clear both input replay tables; returns the window.
    virtual unsigned long ShowDesktopCopyWindow() = 0;
    // If the main window is not showing: ShownForSession := true and show it.
    virtual void ShowWindowForSession() = 0;
    virtual void ClearBookUnlocked() = 0;
    // Restore if minimised, collapse if not Collapsed, lay out, caption.
    virtual void CollapseForSession() = 0;
    virtual bool VoiceWindowShowing() const = 0;
    virtual void DriveMagnifier(bool start) = 0;

protected:
    ~ISessionEvents() = default;
};

// Values session set-up is made with.
struct SessionEnvironment {
    Settings* settings = nullptr;  // DeviceId, DisplayName, HostPassword, WhiteList*, RecentConnections
    IRtcClientPort* rtc = nullptr;
    QString MacAddressText;
    TAdmissionGate::Clock Now;  // default: the system clock
};

class TSessionSetup {
public:
    // The relays learned from the server and from hosts, and those viewers
    // add to one activation's sessions, are bounded.
    static constexpr int MaxLearnedRelays = 8;
    static constexpr int MaxSessionRelays = 8;

    TSessionSetup(SessionEnvironment values, ISessionEnvironment& env, ISessionEvents& events);

    // The connect action (panButtonConnectToRemotePCClick). `fromHostPanel`:
    // the host panel's "Connect..." button (the one that turns a host into a
    // viewer). Returns true when a request went out.
    bool ConnectAction(bool fromHostPanel);
    // `cr --connect`: the connect action as from the host panel, with the
    // dialog pre-filled and confirmed, once the link is joined (at once when
    // it is). A later request replaces one still waiting.
    void ConnectFromCommandLine(const ConnectRequest& request);
    // The link reached Joined: runs a waiting command-line request.
    void SignallingJoined();
    // The connection dialog was confirmed (also by `cr --connect`): save the
    // settings, then "init" straight away when the own relay runs, else
    // "getpublicturn" with type "newconnection". False when not joined.
    bool ConnectConfirmed(const QString& idText, const QString& password);
    // The reconnect path: "init" to FCurrentViewingPeerID with its stored
    // password. False when there is no such peer.
    bool SendInitToCurrentPeer();
    // Viewer: the tab of that host was closed.
    void TabClosed(const QString& id);
    // Viewer: a tab shows that host (with or without a connection now).
    bool HasTab(const QString& id) const { return FTabbedHosts.contains(id); }
    // The "Reconnect" button (steps after its "Connect..." case): the error
    // box when not joined; "init" at once when called without a sender (the
    // liveness check) or when the own relay runs; else "getpublicturn" with
    // an empty type, whose answer sends the "init".
    bool Reconnect(bool withoutSender);

    // Hooks of the signalling dispatch.
    void HandlePeerMessage(const QJsonObject& message);
    void ApplyIceServerFromPayload(const IceServer& relay, bool remember);
    void SendInitAfterPublicTurn(bool newConnection);

    // Component events; called on the engine's threads.
    void rtcClientSdpCreateSuccess(TPeer* peer, const QString& sdpType, const QString& sdpDescription);
    void rtcClientIceCandidate(TPeer* peer, int aLabel, const QString& aid, const QString& aCandidate);

    // The own SessionInfoPayload ("turn" in both directions).
    SessionInfoPayload OwnSessionInfo() const;
    // Keeps the display names in RecentConnections current; saves on change.
    void UpdateRecentEntryName(const QString& name, const QString& id);

    const std::optional<IceServer>& PublicRelay() const { return FPublicRelay; }
    const TAdmissionGate& Gate() const { return FGate; }
    // The password of the last "init" sent to that ID (empty when none).
    QString SentPassword(const QString& id) const { return FSentPasswords.value(id); }

private:
    // Held as deep copies: the engine threads then never share string data
    // with the main thread.
    struct Identity {
        std::u16string deviceId;
        std::u16string displayName;
        bool masterMode = false;
    };

    // Main thread: refreshes the copy the engine-thread writers read.
    Identity refreshIdentity();
    Identity identity() const;

    bool send(const QString& msg, const QString& to = {}, const QString& type = {}, const QString& payload = {},
              const QString& password = {}, bool peerMessage = false);
    bool sendPeer(const QString& to, const QString& type, const QString& payload, const QString& password);
    void sendInit(const QString& id, const QString& password);
    void sendError(const QString& to, const QString& kind, const QString& receivedPassword);
    void replyTurn(const QString& to, const QString& password);

    void handleAsViewer(const TPeerMessage& m);
    void handleAsHost(const TPeerMessage& m);
    // What both roles do with a message from a peer they admitted: "init" is
    // answered with "turn", "turn" goes to the role's own handler.
    using TurnHandler = void (TSessionSetup::*)(const TPeerMessage&, const QJsonObject&);
    void handleAdmitted(const TPeerMessage& m, TurnHandler turn);
    // Types both roles handle alike once admitted.
    void handleCommon(const TPeerMessage& m, const QJsonObject& payload);
    void viewerTurn(const TPeerMessage& m, const QJsonObject& payload);
    void hostTurn(const TPeerMessage& m, const QJsonObject& payload);

    // A fresh peer for the message's sender at the next free end point; null
    // when all end points are in use.
    std::shared_ptr<TPeer> makePeer(const TPeerMessage& m, bool demonstrationMode);
    void activateSource(bool hostSide);
    TRecentConnections recent() const;

    SessionEnvironment FValues;
    ISessionEnvironment& FEnv;
    ISessionEvents& FUi;
    TAdmissionGate FGate;
    std::optional<IceServer> FPublicRelay;
    // Per host ID the password of the last "init" sent there: refusals are
    // matched against it, and a new peer keeps it for reconnection.
    QHash<QString, QString> FSentPasswords;
    // Viewer: the hosts that have a tab.
    QSet<QString> FTabbedHosts;
    // Host: the viewers' relays added to the running activation.
    QSet<QString> FSessionRelays;
    // The relays this side added to the component's list, oldest first.
    QStringList FLearnedRelays;
    // The last confirmed dialog request, for "publicturn" of type "newconnection".
    QString FDialogIdText;
    QString FDialogPassword;
    std::optional<ConnectRequest> FCommandLineRequest;  // waiting for the link
    std::optional<ConnectRequest> FConfirmWith;          // for the next dialog

    mutable std::mutex FIdentityMutex;
    Identity FIdentity;
};

// Copies the host's screen geometry from its SessionInfoPayload into the peer.
void ApplySessionInfo(TPeer& peer, const QJsonObject& sessionInfo);

}  // namespace corvala
