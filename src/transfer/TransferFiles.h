#pragma once
// The two ends of one file on the transfer's worker thread: the source the
// sender digests and reads record by record, and the destination the
// receiver writes, digesting what it writes as it goes.

#include "transfer/DestinationFolder.h"
#include "transfer/Md5.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace corvala::transfer {

class SourceFile {
public:
    // Opens the file and digests it; the size is what the digest covered,
    // so the records that follow send exactly the digested bytes.
    std::optional<FileDigest> Open(const std::string& path, const std::atomic<bool>& cancel, std::string* error);
    // `count` bytes from `offset`; nothing when fewer are there (the file
    // shrank) or reading fails.
    std::optional<QByteArray> Read(std::int64_t offset, int count, std::string* error);
    void Close() { FFd.Reset(); }

private:
    UniqueFd FFd;
};

class DestinationFile {
public:
    bool Create(const DestinationFolder& root, const QStringList& names, std::string* error);
    // Appends the record. A record of zeros is skipped over rather than
    // written, so that runs of zeros stay holes on the disk. After one
    // failure every later write and Finish fail too.
    bool Write(const QByteArray& record, std::string* error);
    // Gives the file its full length and closes it; the digest of every
    // byte written, or nothing when the file could not be completed.
    std::optional<QString> Finish(std::string* error);
    // Closes and removes the file (a partial or corrupted one).
    void Discard();
    bool IsOpen() const { return bool(FFile.File); }

private:
    CreatedFile FFile;
    Md5 FMd5;
    std::int64_t FLength = 0;
    bool FFailed = false;
};

}  // namespace corvala::transfer
