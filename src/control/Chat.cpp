#include "control/Chat.h"

#include "base/Log.h"
#include "base/ProcessState.h"
#include "i18n/Translator.h"
#include "session/ConnectionEntries.h"

namespace corvala {

namespace {
QString Everybody() { return translate("Everybody"); }
}  // namespace

Chat::Chat(IRtcClientPort& rtc, PeerMessenger& messenger, IChatEvents& events)
    : FRtc(rtc), FMessenger(messenger), FEvents(events) {}

ChatRecipients Chat::Recipients(const QString& previous) const {
    ChatRecipients list;
    list.Entries << Everybody();
    for (const auto& peer : FRtc.Peers()) list.Entries << MakeEntry(peer->UserName, peer->FId);
    list.Selected = std::max<int>(0, static_cast<int>(list.Entries.indexOf(previous)));
    const QString current = FRtc.CurrentViewingPeerID();
    if (processState().MasterMode && !current.isEmpty()) {
        const QString named = "(" + current + ")";
        for (int i = 1; i < list.Entries.size(); ++i)
            if (list.Entries[i].contains(named)) list.Selected = i;
    }
    return list;
}

std::vector<std::shared_ptr<TPeer>> Chat::Targets(const QString& recipient) const {
    if (recipient == Everybody()) return FRtc.Peers();
    const QString id = ExtractId(recipient);
    if (id.isEmpty()) return {};
    if (auto peer = FRtc.FindPeer(id)) return {peer};
    return {};
}

bool Chat::Send(const QString& recipient, const QString& line) {
    if (recipient.isEmpty() || line.trimmed().isEmpty()) return false;
    const QString message = QString::fromLatin1(commands::Chat) + line;
    if (line.size() > MaxLineLength) {
        qCInfo(lcControl) << "chat line of" << line.size() << "characters not sent: too long";
        return false;
    }
    // Chat goes out whatever the transfer state and to peers in
    // demonstration mode too.
    for (const auto& peer : Targets(recipient)) FMessenger.SendDataToPeer(*peer, message);
    FEvents.AppendChatLine({translate("Me:") + " ", line, true});
    return true;
}

void Chat::Receive(const TPeer& sender, const QString& text) {
    qCDebug(lcControl).noquote() << "chat line from" << sender.FId << ":" << text;
    FEvents.AppendChatLine({MakeEntry(sender.UserName, sender.FId) + ": ", text, false});
    FEvents.ShowChatWindow();
}

}  // namespace corvala
