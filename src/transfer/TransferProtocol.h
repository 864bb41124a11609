#pragma once
// The file-transfer protocol's words, records and limits, and the two texts
// that carry data a peer controls: the FILE header and relative paths.
//
// On the wire paths use "\" as separator, whatever system either side runs;
// locally they are lists of names joined with "/". A received path is
// checked name by name before anything is created: no name may be empty,
// "." or "..", or hold a control character, ":" or a separator, so that a
// path can never leave the folder it is placed below.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace corvala::transfer {

namespace words {
inline constexpr char GetFile[] = "GETFILE";
inline constexpr char SelectDir[] = "SELECTDIR";
inline constexpr char DirSelected[] = "DIRSELECTED";
inline constexpr char File[] = "FILE";
inline constexpr char Directory[] = "DIRECTORY";
inline constexpr char Ack[] = "D";
inline constexpr char Complete[] = "COMPLETE";
inline constexpr char Corrupted[] = "CORRUPTED";
inline constexpr char Abort[] = "ABORT";
inline constexpr char OpenDocsDir[] = "OPENDOCSDIR";
}  // namespace words

// The two four-byte records; a message of exactly these bytes while
// receiving is the record, anything else is file data.
inline const QByteArray EndOfFileRecord = QByteArray::fromHex("176216C8");
inline const QByteArray AbortRecord = QByteArray::fromHex("580107D3");

// The largest data record; the media engine refuses larger messages.
inline constexpr int MaxRecordBytes = 65536;

// Seconds without progress before a transfer is given up: while data flows,
// and after the end record while the receiver checks the file. A viewer
// allows two more.
inline constexpr int DataTimeoutSeconds = 30;
inline constexpr int VerdictTimeoutSeconds = 300;
inline constexpr int ViewerExtraSeconds = 2;

// A printed document: always stored in the received-files folder, which
// then stays the destination.
inline constexpr char PrinterDocumentName[] = "VELMORAPRINTER.PDF";

// Bounds on a received path (a Linux file name and path).
inline constexpr int MaxNameBytes = 255;
inline constexpr int MaxPathBytes = 4095;

struct FileHeader {
    std::int64_t Size = 0;
    QString Digest;    // 32 upper-case hexadecimal digits
    QStringList Path;  // the relative path's names, checked
};

// "FILE" + size + ":" + digest + ";" + path with "\" separators.
QString MakeFileHeader(std::int64_t size, const QString& digest, const QStringList& path);

// The header of a received "FILE..." message; nothing when the size is not a
// plain decimal number that fits 64 bits, the digest is not 32 upper-case
// hexadecimal digits, or the path is not a safe relative path. `why` says
// what was wrong.
std::optional<FileHeader> ParseFileHeader(const QString& text, QString* why = nullptr);

// The names of a received relative path ("\" or "/" separated); nothing when
// one of them could leave the destination or cannot be stored (see above),
// or when the path is empty or too long.
std::optional<QStringList> ParseRelativePath(const QString& wirePath, QString* why = nullptr);

// A name both sides can store and that cannot name another place.
bool IsPortableName(const QString& name, QString* why = nullptr);

// The wire form of local names.
QString ToWirePath(const QStringList& names);

// The names of `fullPath` below `baseFolder` (both local, "/"-separated,
// the base ending with "/"); nothing when the path does not lie below the
// base or one of its names cannot travel (IsPortableName).
std::optional<QStringList> RelativeNames(const QString& fullPath, const QString& baseFolder);

}  // namespace corvala::transfer
