#include "control/Voice.h"

#include "base/ProcessState.h"
#include "base/ProductInfo.h"
#include "i18n/Translator.h"
#include "session/ConnectionEntries.h"
#include "settings/Settings.h"

namespace corvala {

namespace {
QString Filled(const QString& text, const QString& value) {
    QString out = text;
    if (const auto at = out.indexOf("%s"); at >= 0) out.replace(at, 2, value);
    return out;
}
}  // namespace

Voice::Voice(IRtcClientPort& rtc, PeerMessenger& messenger, const Settings& settings, IVoiceEvents& events,
             QTimer& timerShowNoSpeakDialog)
    : FRtc(rtc), FMessenger(messenger), FSettings(settings), FEvents(events), FNoSpeakTimer(timerShowNoSpeakDialog) {}

QString Voice::Caption() const {
    const QString current = FRtc.CurrentViewingPeerID();
    if (!processState().MasterMode || current.isEmpty()) return translate("Talk to Remote Users");
    return Filled(translate("Talk to %s"),
                  TRecentConnections::FromCommaText(FSettings.RecentConnections).Find(current));
}

void Voice::Open() {
    if (processState().TransferMode != TTransferMode::Idle || FEvents.VoiceWindowShowing()) return;
    const QString caption = Caption();
    const QString current = FRtc.CurrentViewingPeerID();
    if (processState().MasterMode && !current.isEmpty())
        FMessenger.SendMessageToPeer(current, QString::fromLatin1(commands::Speak));
    FEvents.ShowVoiceWindow(caption);
    EnableAudio(true);
}

void Voice::WindowClosed() {
    if (processState().EventsSuspended) return;
    EnableAudio(false);
}

void Voice::EnableAudio(bool enable) {
    if (!processState().MasterMode) {
        for (const auto& peer : FRtc.Peers()) FRtc.SetMicrophone(*peer, enable);
        return;
    }
    const auto current = FRtc.FindPeer(FRtc.CurrentViewingPeerID());
    if (!current) return;
    if (enable) {
        FRtc.SetMicrophone(*current, true);
        return;
    }
    for (const auto& peer : FRtc.Peers()) FRtc.SetMicrophone(*peer, false);
}

void Voice::ArmNoSpeakDialog(bool demonstration) {
    FDemonstrationVariant = demonstration;
    FNoSpeakTimer.start();
}

void Voice::NoSpeakTick() {
    if (processState().EventsSuspended) return;
    FNoSpeakTimer.stop();
    FEvents.ShowNotice(NoSpeakNotice(FDemonstrationVariant));
}

QString Voice::NoSpeakNotice(bool demonstration) {
    const QString lines = QStringLiteral("\r\n\r\n");
    const QString first = translate(
        "The remote user is not able to answer, because the speaking function is currently disabled on his side.");
    if (demonstration)
        return first + lines +
               Filled(translate("Ask user to select the \"Speak...\" item in the main menu of his %s."), ProductName);
    return first + lines +
           Filled(translate("Select the \"Speak...\" item in the main menu of remote %s."), ProductName) +
           QStringLiteral("\r\n") + translate("Or ask user to do it.");
}

}  // namespace corvala
