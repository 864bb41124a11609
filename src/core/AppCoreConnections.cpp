// The core's side of the credential dialogs, the connection history and the
// live connections: the dialogs show and validate, the core applies what
// they confirm to the settings, which the admission reads at every message.

#include <QFile>

#include "base/Log.h"
#include "base/ProcessState.h"
#include "control/ControlProtocol.h"
#include "core/AppCore.h"
#include "core/AppView.h"
#include "features/Credentials.h"
#include "features/LiveConnections.h"
#include "identity/RandomCredentials.h"

namespace corvala {

namespace {
// Lets "DISCONNECT" leave before the calls it announces end.
constexpr int DisconnectPumpMs = 500;
}  // namespace

void TAppCore::Password1Click(bool withSender) {
    const HostPasswordState current{FSettings->RandomPasswordMode, FSettings->HostPassword};
    const HostPasswordFill fill = FillHostPasswordDialog(current, withSender);
    const std::optional<HostPasswordAnswer> answer = FView->AskHostPassword(fill);
    if (!answer) return;
    const HostPasswordState next = ApplyHostPasswordAnswer(
        current, fill, *answer, [] { return QString::fromStdString(identity::RandomCredentials::RandomCredential()); });
    FSettings->RandomPasswordMode = next.RandomPasswordMode;
    FSettings->HostPassword = next.HostPassword;
    // A random password that stays is already on screen as it is.
    if (!next.RandomPasswordMode || next.HostPassword != current.HostPassword) {
        FView->ShowIdentity(FSettings->DeviceId, PasswordFigure());
        // The identity's caption text gives way to the connections again.
        FView->UpdateWindowCaption();
    }
    if (!FSettings->write()) qCWarning(lcCore) << "the new password could not be saved to the settings";
    qCInfo(lcCore) << "host password set:" << (next.RandomPasswordMode ? "random" : "static");
}

bool TAppCore::RequireStaticPassword() {
    Password1Click(false);
    return !FSettings->RandomPasswordMode;
}

void TAppCore::SetWhitelist1Click() {
    const std::optional<WhiteListAnswer> answer =
        FView->AskWhiteList(WhiteListAnswer{FSettings->WhiteListEnabled, FSettings->WhiteList});
    if (!answer) return;
    FSettings->WhiteListEnabled = answer->Enabled;
    FSettings->WhiteList = answer->List;
    if (!FSettings->write()) qCWarning(lcCore) << "the white list could not be saved to the settings";
}

void TAppCore::SetName1Click() {
    const std::optional<QString> edited = FView->AskDisplayName(FSettings->DisplayName);
    if (!edited) return;
    const std::optional<QString> name = ConfirmedDisplayName(*edited);
    if (!name) return;
    FSettings->DisplayName = *name;
    if (!FSettings->write()) qCWarning(lcCore) << "the display name could not be saved to the settings";
}

void TAppCore::ConnectionsLogClick() { FView->ShowConnectionLog(FConnectionLog.Lines(), PeerCount() > 0); }

bool TAppCore::ClearConnectionLog() {
    if (PeerCount() > 0) {
        qCInfo(lcCore) << "the connection log is not cleared while peers are connected";
        return false;
    }
    FConnectionLog.Clear();
    if (QFile::exists(ConnectionLogPath) && !QFile::remove(ConnectionLogPath))
        qCWarning(lcCore) << "the connection log file could not be deleted:" << ConnectionLogPath;
    return true;
}

void TAppCore::ConnectionsInfoClick() {
    QList<LivePeer> peers;
    for (const auto& peer : FRtc->Peers()) peers << LivePeer{peer->UserName, peer->FId};
    FView->ShowConnections(LiveConnectionLines(peers));
}

void TAppCore::DisconnectConnections(const QStringList& ids) {
    if (ids.isEmpty()) return;
    // The viewers hear that this side ended the session, so that they do
    // not take the ended call for a lost network and ask again.
    for (const QString& id : ids) SendMessageToPeer(id, QString::fromLatin1(commands::Disconnect));
    PumpMessages(DisconnectPumpMs);
    for (const QString& id : ids) {
        qCInfo(lcCore) << "the user ended the session of" << id;
        FRtc->EndCall(id);
    }
    SessionsEnded(FRtc->PeerCount() == 0);
}

}  // namespace corvala
