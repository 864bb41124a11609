#include "transfer/Md5.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

namespace corvala::transfer {

struct Md5::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Md5::Md5() : FContext(std::make_unique<Context>()) {
    if (!FContext->ctx || EVP_DigestInit_ex(FContext->ctx, EVP_md5(), nullptr) != 1)
        throw std::runtime_error("MD5 is not available");
}

Md5::~Md5() = default;

void Md5::Add(const void* data, std::size_t size) {
    if (size) EVP_DigestUpdate(FContext->ctx, data, size);
}

QString Md5::Finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(FContext->ctx, digest, &length);
    EVP_DigestInit_ex(FContext->ctx, EVP_md5(), nullptr);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex().toUpper());
}

std::optional<FileDigest> DigestOf(int fd, const std::atomic<bool>* cancel) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Md5 md5;
    std::vector<char> block(DigestBlockBytes);
    off_t offset = 0;
    for (;;) {
        if (cancel && cancel->load()) return std::nullopt;
        const ssize_t n = ::pread(fd, block.data(), block.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return FileDigest{md5.Finish(), offset};
        md5.Add(block.data(), std::size_t(n));
        offset += n;
    }
}

}  // namespace corvala::transfer
