#pragma once
// The connection history shown to the user ("log.txt"): lines, newest first.
// The file is UTF-8 with a byte-order mark and CR LF line ends; files
// written without the mark, or with bare LF, read as well.
//
// The file is read from disk, so it is bounded like anything from outside:
// only its first MaxFileBytes are read (the newest lines, as the file keeps
// them), a longer line is cut, and the list keeps at most MaxLines, the
// oldest going first. What is dropped is logged.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvala {

class ConnectionLog {
public:
    static constexpr qint64 MaxFileBytes = 8 * 1024 * 1024;
    static constexpr int MaxLines = 50000;
    static constexpr int MaxLineLength = 2048;

    // Replaces the lines with the file's UTF-8 lines; an unreadable file
    // leaves the log empty.
    void Load(const QString& path);
    // The lines of a log file's bytes, bounded as above; `source` names the
    // file in what is logged.
    static QStringList ParseLines(QByteArray bytes, const QString& source);
    // Writes FileBytes(); false when the file cannot be written.
    bool Save(const QString& path) const;
    // Lines as the file holds them: UTF-8 with a byte-order mark, CR LF
    // after each.
    static QByteArray FileBytes(const QStringList& lines);
    // A line at the top. Control characters (line breaks among them) become
    // spaces: a display name a peer chose must not forge lines of its own.
    void Insert(const QString& line);
    const QStringList& Lines() const { return FLines; }
    bool IsEmpty() const { return FLines.isEmpty(); }
    void Clear() { FLines.clear(); }

private:
    void DropOldest();

    QStringList FLines;
};

}  // namespace corvala
