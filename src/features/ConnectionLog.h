#pragma once
// The connection history shown to the user ("log.txt"): lines, newest first.

#include <QString>
#include <QStringList>

namespace corvala {

class ConnectionLog {
public:
    // Replaces the lines with the file's UTF-8 lines; an unreadable file
    // leaves the log empty.
    void Load(const QString& path);
    // Writes the lines as UTF-8; false when the file cannot be written.
    bool Save(const QString& path) const;
    // A line at the top. Control characters (line breaks among them) become
    // spaces: a display name a peer chose must not forge lines of its own.
    void Insert(const QString& line);
    const QStringList& Lines() const { return FLines; }
    bool IsEmpty() const { return FLines.isEmpty(); }
    void Clear() { FLines.clear(); }

private:
    QStringList FLines;
};

}  // namespace corvala
