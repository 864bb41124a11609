#include "features/ConnectionLog.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include "base/Log.h"

namespace corvala {

namespace {
const QByteArray ByteOrderMark("\xEF\xBB\xBF");
}

void ConnectionLog::Load(const QString& path) {
    FLines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    FLines = ParseLines(file.read(MaxFileBytes + 1), path);
}

QStringList ConnectionLog::ParseLines(QByteArray bytes, const QString& source) {
    if (bytes.size() > MaxFileBytes) {
        qCWarning(lcCore) << "connection log" << source << "is longer than" << MaxFileBytes
                          << "bytes: only its newest lines are read";
        bytes.truncate(MaxFileBytes);
        // The cut line is incomplete.
        bytes.truncate(qMax(0, int(bytes.lastIndexOf('\n')) + 1));
    }
    if (bytes.startsWith(ByteOrderMark)) bytes.remove(0, ByteOrderMark.size());
    // Exactly one mark goes: a second one belongs to the first line, as
    // written (fromUtf8 would drop it as well).
    QStringDecoder decode(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString text = decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    int cut = 0;
    for (QString& line : lines)
        if (line.size() > MaxLineLength) {
            line.truncate(MaxLineLength);
            ++cut;
        }
    if (cut > 0)
        qCWarning(lcCore) << "connection log" << source << ":" << cut << "over-long lines cut to" << MaxLineLength;
    if (lines.size() > MaxLines) {
        qCWarning(lcCore) << "connection log" << source << ": the oldest" << lines.size() - MaxLines
                          << "lines are dropped to keep" << MaxLines;
        lines.resize(MaxLines);
    }
    return lines;
}

void ConnectionLog::Insert(const QString& line) {
    QString clean = line.left(MaxLineLength);
    for (QChar& c : clean)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    FLines.prepend(clean);
    DropOldest();
}

void ConnectionLog::DropOldest() {
    if (FLines.size() <= MaxLines) return;
    qCInfo(lcCore) << "connection log: the oldest" << FLines.size() - MaxLines << "lines are dropped to keep"
                   << MaxLines;
    FLines.resize(MaxLines);
}

QByteArray ConnectionLog::FileBytes(const QStringList& lines) {
    QByteArray bytes = ByteOrderMark;
    for (const QString& line : lines) bytes += (line + QStringLiteral("\r\n")).toUtf8();
    return bytes;
}

bool ConnectionLog::Save(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(FileBytes(FLines));
    return file.commit();
}

}  // namespace corvala
