#include "features/ConnectionLog.h"

#include <QFile>
#include <QSaveFile>

namespace corvala {

void ConnectionLog::Load(const QString& path) {
    FLines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    text.replace("\r\n", "\n");
    FLines = text.split('\n');
    if (!FLines.isEmpty() && FLines.last().isEmpty()) FLines.removeLast();
}

void ConnectionLog::Insert(const QString& line) {
    QString clean = line;
    for (QChar& c : clean)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    FLines.prepend(clean);
}

bool ConnectionLog::Save(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    for (const QString& line : FLines) file.write((line + "\r\n").toUtf8());
    return file.commit();
}

}  // namespace corvala
