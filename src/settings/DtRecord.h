#pragma once
// Field encoding shared by the ".dt" files: little-endian 32-bit integers,
// one-byte flags, rectangles as four 32-bit integers, and strings as a signed
// 32-bit count of UTF-16 code units followed by the UTF-16LE units (count 0 =
// empty, nothing follows). Also the comma-separated text some fields hold.

#include <cstdint>
#include <stdexcept>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvala {

// A window rectangle as the files store it: right and bottom are edges, not
// the last pixel.
struct WindowRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

class DtWriter {
public:
    void writeInt32(std::int32_t v);
    void writeFlag(bool v);
    void writeString(const QString& s);
    void writeRect(const WindowRect& r);
    void writeBytes(const QByteArray& raw);
    const QByteArray& data() const { return FData; }

private:
    QByteArray FData;
};

// Thrown when a field reaches past the end of the data or is impossible (a
// negative string count). Readers catch it and report failure; whatever was
// read before stays read.
class DtReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DtReader {
public:
    explicit DtReader(QByteArray data) : FData(std::move(data)) {}
    std::int32_t readInt32();
    bool readFlag();  // any non-zero byte is true
    QString readString();
    WindowRect readRect();
    QByteArray readBytes(qsizetype n);
    qsizetype remaining() const { return FData.size() - FPos; }

private:
    const char* take(qsizetype n);
    QByteArray FData;
    qsizetype FPos = 0;
};

// Comma-separated text: items joined by ","; an item holding a space (or any
// other character up to space), a comma or a double quote is put in double
// quotes with inner quotes doubled. A list of one empty item is written `""`
// so that it is not read back as an empty list.
QString joinCommaText(const QStringList& items);
// The reverse; an unquoted space also separates items, and blanks around
// items are dropped.
QStringList splitCommaText(const QString& text);

}  // namespace corvala
