#include "session/ConnectionEntries.h"

#include "i18n/Translator.h"
#include "settings/DtRecord.h"

namespace corvala {

QString ExtractId(const QString& text) {
    if (text.contains(u';') || text.contains(u','))
        return {};
    const qsizetype open = text.indexOf(u'(');
    const qsizetype close = text.indexOf(u')');
    QString id;
    if (open < 0 && close < 0)
        id = text.trimmed();
    else if (open >= 0 && close > open)
        id = text.mid(open + 1, close - open - 1).trimmed();
    else
        return {};  // only one of them, or ")" before "("
    if (id.contains(u' ') || id.contains(u'(') || id.contains(u')'))
        return {};
    return id;
}

QString NormaliseTypedId(const QString& text) {
    if (text.contains(u'('))
        return text;
    QString id = text;
    id.remove(u' ');
    return id.toUpper();
}

QString EntryName(const QString& entry) {
    const qsizetype open = entry.indexOf(u'(');
    return open < 0 ? QString() : entry.left(open).trimmed();
}

QString MakeEntry(const QString& name, const QString& id) {
    QString clean = name;
    clean.remove(u'(');
    clean.remove(u')');
    clean = clean.trimmed();
    return clean.isEmpty() ? id : clean + QStringLiteral(" (") + id + u')';
}

ConnectTextCheck CheckConnectText(const QString& typed, const QString& ownDeviceId) {
    ConnectTextCheck check;
    check.text = NormaliseTypedId(typed);
    check.id = ExtractId(check.text);
    const QString invalid = translate(QStringLiteral("Please enter a valid ID."));
    if (check.id.isEmpty()) {
        check.error = invalid + u'\n' +
                      translate(QStringLiteral("It must be either an ID, either a Username and ID in brackets.")) +
                      QStringLiteral("\n\n") + translate(QStringLiteral("Examples:")) +
                      QStringLiteral("\n1A2B3C4D5E6F\nUlla Trevik (1A2B3C4D5E6F)");
    } else if (check.id.toUpper() == ownDeviceId) {
        check.error = invalid;
    }
    return check;
}

TRecentConnections TRecentConnections::FromCommaText(const QString& text) {
    QStringList entries = splitCommaText(text);
    entries.removeAll(QString());
    return TRecentConnections(std::move(entries));
}

QString TRecentConnections::ToCommaText() const {
    return joinCommaText(FEntries);
}

int TRecentConnections::IndexOf(const QString& id) const {
    if (id.isEmpty())
        return -1;
    const QString inParentheses = u'(' + id + u')';
    for (int i = 0; i < FEntries.size(); ++i)
        if (FEntries[i] == id || FEntries[i].contains(inParentheses))
            return i;
    return -1;
}

QString TRecentConnections::Find(const QString& id) const {
    const int i = IndexOf(id);
    return i < 0 ? QString() : FEntries[i];
}

void TRecentConnections::PutOnTop(const QString& entryText, const QString& id) {
    if (const int i = IndexOf(id); i >= 0)
        FEntries.removeAt(i);
    FEntries.prepend(entryText);
    // A list read from an older file may be longer than the limit; it is cut
    // here too, so that the limit holds after any change.
    while (FEntries.size() > MaxEntries)
        FEntries.removeLast();
}

bool TRecentConnections::UpdateName(const QString& name, const QString& id) {
    const QString entry = MakeEntry(name, id);
    if (entry == id)  // no usable name
        return false;
    const QString newName = EntryName(entry);
    for (QString& existing : FEntries) {
        if (ExtractId(existing) == id && EntryName(existing) != newName) {
            existing = entry;
            return true;
        }
    }
    return false;
}

}  // namespace corvala
