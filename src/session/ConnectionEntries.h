#pragma once
// Connection entries: what the connection dialog's ID list, the connection
// log, the live-connections list, Wake-on-LAN and the chat recipients hold.
// An entry is an ID, or a name followed by a space and the ID in parentheses
// ("Ulla Trevik (1A2B3C4D5E6F)"). Every list reads IDs out of its entries with
// ExtractId, so one rule decides what counts as an ID everywhere.

#include <QString>
#include <QStringList>

namespace corvala {

// The ID in an entry, or empty when the text holds none: a text with ";" or
// "," holds none; without parentheses it is the trimmed text; with both it is
// the trimmed text between the first "(" and the first ")"; with only one of
// them, none. An ID never contains a space or a parenthesis.
QString ExtractId(const QString& text);

// What the dialog makes of typed text before checking it: text without "("
// loses every space and is upper-cased ("1a2b 3c4d" -> "1A2B3C4D"); text with
// a name in it is left as typed.
QString NormaliseTypedId(const QString& text);

// The name part of an entry: the text before the first "(", trimmed; empty
// when there is no "(".
QString EntryName(const QString& entry);

// An entry for a name and an ID: name + " (" + ID + ")", or the bare ID when
// the trimmed name is empty. Parentheses are dropped from the name, because
// a name holding "(" would make the entry name a different ID.
QString MakeEntry(const QString& name, const QString& id);

// The check of the dialog's "Connect": the typed text normalised, the ID in
// it, and the error to show (translated, empty when the text is fine).
struct ConnectTextCheck {
    QString text;
    QString id;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
ConnectTextCheck CheckConnectText(const QString& typed, const QString& ownDeviceId);

// The history of IDs the user connected to (RecentConnections).
class TRecentConnections {
public:
    static constexpr int MaxEntries = 19;

    TRecentConnections() = default;
    explicit TRecentConnections(QStringList entries) : FEntries(std::move(entries)) {}
    // RecentConnections is stored as comma text.
    static TRecentConnections FromCommaText(const QString& text);
    QString ToCommaText() const;

    const QStringList& Entries() const { return FEntries; }
    bool IsEmpty() const { return FEntries.isEmpty(); }

    // Index of the first entry that equals `id` or contains "(" + id + ")";
    // -1 when there is none (or `id` is empty).
    int IndexOf(const QString& id) const;
    // FindRecentEntry: that entry's text, or empty.
    QString Find(const QString& id) const;

    // A confirmed connection: the entry of `id` (if any) is removed and
    // `entryText` (the text as typed, with or without a name) goes on top;
    // the list is then cut to MaxEntries.
    void PutOnTop(const QString& entryText, const QString& id);

    // UpdateRecentEntryName: the first entry of `id` whose name differs from
    // the trimmed `name` becomes MakeEntry(name, id). False when nothing
    // changed (empty name, unknown ID, or the name is already current).
    bool UpdateName(const QString& name, const QString& id);

private:
    QStringList FEntries;
};

}  // namespace corvala
