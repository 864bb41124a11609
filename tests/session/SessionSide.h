#pragma once
// One copy of the program as session set-up sees it: its settings, a
// recording component, the lines it writes and what it asked the windows to
// do. Two sides and a relay make a whole session in one process.

#include "QtPrinters.h"
#include "fakes/RecordingRtc.h"
#include "session/SessionSetup.h"
#include "settings/Settings.h"
#include "signalling/SignallingMessage.h"

#include <QJsonObject>

#include <memory>
#include <mutex>
#include <vector>

namespace corvala::testing {

class SessionSide : private ISessionEnvironment, private ISessionEvents {
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
        SessionEnvironment values;
        values.settings = &settings;
        values.rtc = &rtc;
        values.MacAddressText = "00-11-22-33-44-55";
        values.Now = [this] { return nowMs; };
        session = std::make_unique<TSessionSetup>(std::move(values), static_cast<ISessionEnvironment&>(*this),
                                                  static_cast<ISessionEvents&>(*this));
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
    std::optional<ConnectionDialogResult> dialogAnswer;

    std::mutex sentMutex;
    std::vector<QByteArray> sent;
    int saves = 0;
    QStringList warnings, nonModalWarnings, errors, confirmations, log, tabs, selectedTabs, wakeOnLan,
        voiceWindows;
    int disconnectAll = 0, viewerLayout = 0, dialogShown = 0, shownForSession = 0, bookLocked = 0;
    std::vector<bool> magnifier;
    std::unique_ptr<TSessionSetup> session;

private:
    // ISessionEnvironment. Engine threads write too.
    bool SendLine(const QByteArray& line) override {
        std::lock_guard lock(sentMutex);
        sent.push_back(line);
        return connected;
    }
    bool ConnectedToSignalServer() const override { return connected; }
    bool SaveSettings() override {
        ++saves;
        return true;
    }
    bool MasterMode() const override { return masterMode; }
    void SetMasterMode() override { masterMode = true; }
    bool LockScreenMode() const override { return lockScreenMode; }
    std::optional<OwnRelay> RunningRelay() const override { return relay; }
    QString CountryCode() const override { return "DE"; }
    LocalScreens Screens() const override { return screens; }
    int FrameRate() const override { return 10; }

    // ISessionEvents.
    void ShowWarning(const QString& t) override { warnings << t; }
    void ShowNonModalWarning(const QString& t) override { nonModalWarnings << t; }
    void ShowError(const QString& t) override { errors << t; }
    bool Confirm(const QString& t) override {
        confirmations << t;
        return confirmAnswer;
    }
    void LogConnection(const QString& t) override { log << t; }
    void RefreshChatRecipients() override {}
    void ResetFrameWatch(const QString&) override {}
    void DisconnectAllPeers() override { ++disconnectAll; }
    void SwitchToViewerLayout() override { ++viewerLayout; }
    void CloseVoiceWindow() override {}
    std::optional<ConnectionDialogResult> ShowConnectionDialog(
        const std::optional<ConnectRequest>& confirmWith) override {
        ++dialogShown;
        if (confirmWith) dialogAnswer = ConnectionDialogResult{confirmWith->id, confirmWith->password};
        if (!dialogAnswer) return std::nullopt;
        // What the confirmed dialog does to the history.
        TRecentConnections recent = TRecentConnections::FromCommaText(settings.RecentConnections);
        recent.PutOnTop(dialogAnswer->idText, ExtractId(dialogAnswer->idText));
        settings.RecentConnections = recent.ToCommaText();
        return dialogAnswer;
    }
    void UpdateAliveButton() override {}
    void AddTab(const QString& caption, const QString&) override { tabs << caption; }
    void SelectTab(const QString& id) override { selectedTabs << id; }
    void ClearPressedKeys() override {}
    void UpdateMonitorMenu(const QString&) override {}
    void RememberWakeOnLan(const QString& id, const QString& mac) override { wakeOnLan << id + "=" + mac; }
    void OpenVoiceWindow(const QString& id) override { voiceWindows << id; }
    unsigned long ShowDesktopCopyWindow() override { return 4242ul; }
    void ShowWindowForSession() override { ++shownForSession; }
    void ClearBookUnlocked() override { ++bookLocked; }
    void CollapseForSession() override {}
    bool VoiceWindowShowing() const override { return false; }
    void DriveMagnifier(bool start) override { magnifier.push_back(start); }
};

// A peer message as it arrives from the server.
inline QJsonObject PeerMessageObject(const QString& from, const QString& to, const QString& type,
                                     const QString& payload = {}, const QString& password = {},
                                     const QString& username = "Remote", const QString& version = "42") {
    return *ParseSignallingLine(GetMessage(from, "message", to, type, payload, password, username, version));
}

}  // namespace corvala::testing
