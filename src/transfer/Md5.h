#pragma once
// MD5 digests as the transfer protocol writes them (32 upper-case
// hexadecimal digits), through OpenSSL's EVP interface.

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace corvala::transfer {

class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest of everything added; the object starts over afterwards.
    QString Finish();

private:
    struct Context;
    std::unique_ptr<Context> FContext;
};

// The digest of the open file `fd` from its first byte to its end, read in
// large blocks (the file position is left alone), and how many bytes that
// was; nothing when it cannot be read to its end or `cancel` becomes true
// meanwhile.
struct FileDigest {
    QString Digest;
    std::int64_t Size = 0;
};
std::optional<FileDigest> DigestOf(int fd, const std::atomic<bool>* cancel = nullptr);

// Bytes per read of DigestOf.
inline constexpr std::size_t DigestBlockBytes = 1 << 20;

}  // namespace corvala::transfer
