#pragma once
// The "Connections" window's logic: one line per connected peer, and what
// "Disconnect Selected" makes of the lines the user selected.

#include <QList>
#include <QString>
#include <QStringList>

namespace corvala {

struct LivePeer {
    QString UserName;
    QString Id;
};

// "user name (ID)" for each peer, in the given order (the name without
// parentheses; the bare ID when the peer gave no name).
QStringList LiveConnectionLines(const QList<LivePeer>& peers);

// "Disconnect Selected": the list walked from its last line to its first;
// every selected line goes, and the ID in it (when it holds one) is
// collected. The IDs come in the order the calls are ended: the reverse of
// their collection, which is the lines' own order.
struct DisconnectSelection {
    QStringList RemainingLines;
    QStringList IdsToEnd;
};
DisconnectSelection DisconnectSelected(const QStringList& lines, const QList<bool>& selected);

}  // namespace corvala
