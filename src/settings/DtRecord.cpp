#include "settings/DtRecord.h"

#include <QtEndian>

namespace corvala {

void DtWriter::writeInt32(std::int32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    FData.append(b, 4);
}

void DtWriter::writeFlag(bool v) { FData.append(char(v ? 1 : 0)); }

void DtWriter::writeString(const QString& s) {
    writeInt32(static_cast<std::int32_t>(s.size()));
    for (QChar c : s) {
        char b[2];
        qToLittleEndian(c.unicode(), b);
        FData.append(b, 2);
    }
}

void DtWriter::writeRect(const WindowRect& r) {
    writeInt32(r.Left);
    writeInt32(r.Top);
    writeInt32(r.Right);
    writeInt32(r.Bottom);
}

void DtWriter::writeBytes(const QByteArray& raw) { FData.append(raw); }

const char* DtReader::take(qsizetype n) {
    if (n < 0 || n > remaining())
        throw DtReadError("record ends before the field");
    const char* p = FData.constData() + FPos;
    FPos += n;
    return p;
}

std::int32_t DtReader::readInt32() { return qFromLittleEndian<std::int32_t>(take(4)); }

bool DtReader::readFlag() { return *take(1) != 0; }

QString DtReader::readString() {
    const std::int32_t count = readInt32();
    if (count < 0)
        throw DtReadError("negative string length");
    // Checked before allocating: a garbled count must not ask for gigabytes.
    const char* p = take(qsizetype(count) * 2);
    QString s(count, Qt::Uninitialized);
    for (std::int32_t i = 0; i < count; ++i)
        s[i] = QChar(qFromLittleEndian<char16_t>(p + 2 * i));
    return s;
}

WindowRect DtReader::readRect() {
    WindowRect r;
    r.Left = readInt32();
    r.Top = readInt32();
    r.Right = readInt32();
    r.Bottom = readInt32();
    return r;
}

QByteArray DtReader::readBytes(qsizetype n) { return QByteArray(take(n), n); }

namespace {

bool isBlank(QChar c) { return c.unicode() >= 1 && c.unicode() <= ' '; }

bool needsQuotes(const QString& item) {
    for (QChar c : item)
        if (c.unicode() <= ' ' || c == u',' || c == u'"')
            return true;
    return false;
}

}  // namespace

QString joinCommaText(const QStringList& items) {
    if (items.size() == 1 && items.front().isEmpty())
        return QStringLiteral("\"\"");
    QStringList parts;
    parts.reserve(items.size());
    for (const QString& item : items) {
        if (needsQuotes(item)) {
            QString quoted = item;
            quoted.replace(u'"', QStringLiteral("\"\""));
            parts << u'"' + quoted + u'"';
        } else {
            parts << item;
        }
    }
    return parts.join(u',');
}

QStringList splitCommaText(const QString& text) {
    QStringList items;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < n && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        QString item;
        if (text[i] == u'"') {
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        item += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < n && !isBlank(text[i]) && text[i] != u',' && text[i].unicode() != 0)
                ++i;
            item = text.mid(start, i - start);
            if (i < n && text[i].unicode() == 0)
                ++i;  // a stray NUL neither belongs to an item nor stops the loop
        }
        items << item;
        skipBlanks();
        if (i < n && text[i] == u',') {
            ++i;
            if (i == n)
                items << QString();
            skipBlanks();
        }
    }
    return items;
}

}  // namespace corvala
