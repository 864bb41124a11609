#pragma once
// What the two controls over the viewer's remote-screen area show (the
// status label lblLostConnectionInfo and the button panReconnectButton), and
// what pressing that button does. Pure decisions: the core keeps the state,
// the main window applies it to its widgets, translating every text.

#include <QString>

#include <optional>

namespace corvala::alive_texts {
inline constexpr char NoConnections[] = "No connections.";
inline constexpr char Connect[] = "Connect...";
inline constexpr char PleaseWait[] = "Please wait...";
inline constexpr char NoSignal[] = "No signal.";
inline constexpr char Reconnect[] = "Reconnect";
inline constexpr char ServerUnavailable[] = "Unable to connect to server. Please try again in a minute.";
}  // namespace corvala::alive_texts

namespace corvala {

struct AliveButtonInput {
    bool anyPeers = false;
    bool currentPeerExists = false;  // a peer has the ID FCurrentViewingPeerID
    bool needToReconnect = false;    // of the current peer
    bool alive = false;              // of the current peer
    friend bool operator==(const AliveButtonInput&, const AliveButtonInput&) = default;
};

// Every member the window must apply; an unset text means "leave as it is".
// Visibility flags apply only when `changes` is set.
struct AliveButtonView {
    bool changes = false;            // false: touch nothing, not even the repaint
    bool showRemoteArea = false;     // make the remote-screens panel and picture visible
    bool fillPicture = false;        // fill the remote picture with RemoteAreaColour
    bool centreControls = false;     // button centred, label centred 1.5 label heights above it
    std::optional<QString> labelText;      // English, to be translated
    std::optional<QString> buttonCaption;  // English, to be translated
    bool labelVisible = false;
    bool buttonVisible = false;
    bool repaint = false;            // set NeedToRepaintBackgroundPanel and repaint the panel
    friend bool operator==(const AliveButtonView&, const AliveButtonView&) = default;
};

AliveButtonView UpdateAliveButton(const AliveButtonInput& input);

// What the label and the button show now (English texts), kept as the views
// are applied so that the button's action can follow its caption.
struct AliveButtonStatus {
    QString labelText;
    QString buttonCaption;
    bool labelVisible = false;
    bool buttonVisible = false;

    void Apply(const AliveButtonView& view) {
        if (!view.changes) return;
        if (view.labelText) labelText = *view.labelText;
        if (view.buttonCaption) buttonCaption = *view.buttonCaption;
        labelVisible = view.labelVisible;
        buttonVisible = view.buttonVisible;
    }
};

enum class ReconnectAction {
    RunConnectButton,       // the caption is "Connect...": the connect button's handler, no sender
    ShowServerUnavailable,  // error box alive_texts::ServerUnavailable
    SendInitToCurrentPeer,  // "message"/"init" with the peer's stored password, DisplayName, "42"
    SendGetPublicTurn,      // "getpublicturn" with CountryCode and empty type; "publicturn" sends the init
    Nothing,                // called without sender or with a relay, but the current peer is gone
};

struct ReconnectInput {
    QString buttonCaption;            // as the button shows it
    QString translatedConnectCaption; // "Connect..." in the current language
    bool connectedToSignalServer = false;
    bool calledWithoutSender = false; // the liveness check's call after 8 silent seconds
    bool relayRunning = false;
    bool currentPeerExists = false;
};

// panReconnectButtonClick's decision.
ReconnectAction panReconnectButtonClick(const ReconnectInput& input);

}  // namespace corvala
