#pragma once
// One copy of the program as session set-up sees it: its settings, a
// recording component, the lines it writes and what it asked the windows to
// do. Two sides and a relay make a whole session in one process.

#include "QtPrinters.h"
#include "RecordingRtc.h"
#include "session/SessionSetup.h"
#include "settings/Settings.h"
#include "signalling/SignallingMessage.h"

#include <QJsonObject>

#include <memory>
#include <mutex>
#include <vector>

namespace corvala::testing {

class SessionSide {
public:
    SessionSide(const QString& deviceId, const QString& displayName) : settings(SettingsEnvironment{}) {
        settings.DeviceId = deviceId;
        settings.DisplayName = displayName;
        settings.HostPassword = "secret-pw";
        settings.RecentConnections.clear();
        screens.Monitors = {{0, 0, 1920, 1080}};
    }

    // Builds the session object; change the fields above first.
    TSessionSetup& Start() {
        SessionEnvironment env;
        env.settings = &settings;
        env.rtc = &rtc;
        // Engine threads write too.
        env.SendLine = [this](const QByteArray& line) {
            std::lock_guard lock(sentMutex);
            sent.push_back(line);
            return connected;
        };
        env.SaveSettings = [this] {
            ++saves;
            return true;
        };
        env.ConnectedToSignalServer = [this] { return connected; };
        env.MasterMode = [this] { return masterMode; };
        env.SetMasterMode = [this] { masterMode = true; };
        env.LockScreenMode = [this] { return lockScreenMode; };
        env.RunningRelay = [this] { return relay; };
        env.CountryCode = [] { return QString("DE"); };
        env.Screens = [this] { return screens; };
        env.MacAddressText = "00-11-22-33-44-55";
        env.Now = [this] { return nowMs; };

        SessionUiHooks ui;
        ui.ShowWarning = [this](const QString& t) { warnings << t; };
        ui.ShowNonModalWarning = [this](const QString& t) { nonModalWarnings << t; };
        ui.ShowError = [this](const QString& t) { errors << t; };
        ui.Confirm = [this](const QString& t) {
            confirmations << t;
            return confirmAnswer;
        };
        ui.LogConnection = [this](const QString& t) { log << t; };
        ui.DisconnectAllPeers = [this] { ++disconnectAll; };
        ui.SwitchToViewerLayout = [this] { ++viewerLayout; };
        ui.ShowConnectionDialog =
            [this](const std::optional<ConnectRequest>& confirmWith) -> std::optional<SessionUiHooks::DialogResult> {
            ++dialogShown;
            if (confirmWith)
                dialogAnswer = SessionUiHooks::DialogResult{confirmWith->id, confirmWith->password};
            if (!dialogAnswer)
                return std::nullopt;
            // What the confirmed dialog does to the history.
            TRecentConnections recent = TRecentConnections::FromCommaText(settings.RecentConnections);
            recent.PutOnTop(dialogAnswer->idText, ExtractId(dialogAnswer->idText));
            settings.RecentConnections = recent.ToCommaText();
            return dialogAnswer;
        };
        ui.AddTab = [this](const QString& caption, const QString&) { tabs << caption; };
        ui.SelectTab = [this](const QString& id) { selectedTabs << id; };
        ui.RememberWakeOnLan = [this](const QString& id, const QString& mac) { wakeOnLan << id + "=" + mac; };
        ui.OpenVoiceWindow = [this](const QString& id) { voiceWindows << id; };
        ui.ShowDesktopCopyWindow = [] { return 4242ul; };
        ui.ShowWindowForSession = [this] { ++shownForSession; };
        ui.ClearBookUnlocked = [this] { ++bookLocked; };
        ui.DriveMagnifier = [this](bool start) { magnifier.push_back(start); };
        session = std::make_unique<TSessionSetup>(std::move(env), std::move(ui));
        return *session;
    }

    // The envelopes written so far, parsed; taken out of `sent`.
    std::vector<Envelope> TakeSent() {
        std::lock_guard lock(sentMutex);
        std::vector<Envelope> out;
        for (const QByteArray& line : sent)
            out.push_back(Envelope::FromObject(*ParseSignallingLine(line)));
        sent.clear();
        return out;
    }

    Settings settings;
    RecordingRtc rtc;
    bool connected = true;
    bool masterMode = false;
    bool lockScreenMode = false;
    std::optional<OwnRelay> relay;
    LocalScreens screens;
    qint64 nowMs = 1'800'000'000'000;
    bool confirmAnswer = true;
    std::optional<SessionUiHooks::DialogResult> dialogAnswer;

    std::mutex sentMutex;
    std::vector<QByteArray> sent;
    int saves = 0;
    QStringList warnings, nonModalWarnings, errors, confirmations, log, tabs, selectedTabs, wakeOnLan,
        voiceWindows;
    int disconnectAll = 0, viewerLayout = 0, dialogShown = 0, shownForSession = 0, bookLocked = 0;
    std::vector<bool> magnifier;
    std::unique_ptr<TSessionSetup> session;
};

// A peer message as it arrives from the server.
inline QJsonObject PeerMessageObject(const QString& from, const QString& to, const QString& type,
                                     const QString& payload = {}, const QString& password = {},
                                     const QString& username = "Remote", const QString& version = "42") {
    return *ParseSignallingLine(GetMessage(from, "message", to, type, payload, password, username, version));
}

}  // namespace corvala::testing
