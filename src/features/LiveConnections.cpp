#include "features/LiveConnections.h"

#include "session/ConnectionEntries.h"

namespace corvala {

QStringList LiveConnectionLines(const QList<LivePeer>& peers) {
    QStringList lines;
    // Through MakeEntry: a viewer that names itself "(another ID)" must not
    // make the line name a different peer.
    for (const LivePeer& peer : peers) lines << MakeEntry(peer.UserName, peer.Id);
    return lines;
}

DisconnectSelection DisconnectSelected(const QStringList& lines, const QList<bool>& selected) {
    DisconnectSelection result;
    QStringList collected;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (!selected.value(i)) {
            result.RemainingLines.prepend(lines[i]);
            continue;
        }
        const QString id = ExtractId(lines[i]);
        if (!id.isEmpty()) collected << id;
    }
    for (qsizetype i = collected.size() - 1; i >= 0; --i) result.IdsToEnd << collected[i];
    return result;
}

}  // namespace corvala
