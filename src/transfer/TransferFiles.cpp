#include "transfer/TransferFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvala::transfer {

namespace {

void Say(std::string* error, const std::string& what, int code) {
    if (error) *error = what + ": " + std::strerror(code);
}

bool AllZero(const QByteArray& bytes) {
    return !bytes.isEmpty() && bytes[0] == 0 &&
           std::memcmp(bytes.constData(), bytes.constData() + 1, bytes.size() - 1) == 0;
}

bool SkipOver(int fd, qsizetype count, std::string* error) {
    if (::lseek(fd, count, SEEK_CUR) >= 0) return true;
    Say(error, "cannot seek", errno);
    return false;
}

bool WriteAll(int fd, const QByteArray& bytes, std::string* error) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Say(error, "cannot write", errno);
            return false;
        }
        done += n;
    }
    return true;
}

}  // namespace

std::optional<FileDigest> SourceFile::Open(const std::string& path, const std::atomic<bool>& cancel,
                                           std::string* error) {
    // A FIFO or a device would block the worker or never end: regular files only.
    FFd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!FFd) {
        Say(error, "cannot open " + path, errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(FFd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (error) *error = path + " is not a regular file";
        FFd.Reset();
        return std::nullopt;
    }
    auto digest = DigestOf(FFd.Get(), &cancel);
    if (!digest) {
        if (error) *error = cancel.load() ? "cancelled" : "cannot read " + path;
        FFd.Reset();
    }
    return digest;
}

std::optional<QByteArray> SourceFile::Read(std::int64_t offset, int count, std::string* error) {
    QByteArray bytes(count, Qt::Uninitialized);
    int done = 0;
    while (done < count) {
        const ssize_t n = ::pread(FFd.Get(), bytes.data() + done, std::size_t(count - done), offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Say(error, "cannot read", errno);
            return std::nullopt;
        }
        if (n == 0) {
            if (error) *error = "the file became shorter while it was sent";
            return std::nullopt;
        }
        done += int(n);
    }
    return bytes;
}

bool DestinationFile::Create(const DestinationFolder& root, const QStringList& names, std::string* error) {
    FFile = root.CreateFile(names, error);
    FLength = 0;
    FFailed = !IsOpen();
    FMd5.Finish();  // starts over
    return IsOpen();
}

bool DestinationFile::Write(const QByteArray& record, std::string* error) {
    if (FFailed) {
        if (error) *error = "an earlier write failed";
        return false;
    }
    FMd5.Add(record.constData(), std::size_t(record.size()));
    const int fd = FFile.File.Get();
    FFailed = !(AllZero(record) ? SkipOver(fd, record.size(), error) : WriteAll(fd, record, error));
    if (!FFailed) FLength += record.size();
    return !FFailed;
}

std::optional<QString> DestinationFile::Finish(std::string* error) {
    if (FFailed) {
        if (error) *error = "the file could not be written";
        return std::nullopt;
    }
    // A file that ends in zeros ends in a hole: its length must still be right.
    if (::ftruncate(FFile.File.Get(), FLength) != 0) {
        Say(error, "cannot set the length", errno);
        return std::nullopt;
    }
    // A full disk or quota may only show when the file is closed.
    if (::close(FFile.File.Release()) != 0) {
        Say(error, "cannot complete the file", errno);
        return std::nullopt;
    }
    return FMd5.Finish();
}

void DestinationFile::Discard() {
    FFile.File.Reset();
    if (FFile.Folder) FFile.Remove();
    FFile = CreatedFile();
}

}  // namespace corvala::transfer
