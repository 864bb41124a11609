#include "update/UpdateSignature.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "base/EmbeddedResource.h"

CORVALA_DECLARE_RESOURCE(corvala_update_key)

namespace corvala::update {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

std::unique_ptr<EVP_PKEY, KeyFree> ReadEd25519Key(std::string_view pem) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    if (!bio) return nullptr;
    std::unique_ptr<EVP_PKEY, KeyFree> key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) return nullptr;
    return key;
}

}  // namespace

SignatureCheck VerifyFileSignature(const std::filesystem::path& file, const QByteArray& signature,
                                   std::string_view publicKeyPem, qint64 maxBytes) {
    const auto key = ReadEd25519Key(publicKeyPem);
    if (!key) return SignatureCheck::BadKey;
    if (signature.size() != SignatureSize) return SignatureCheck::MissingSignature;
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || qint64(size) > maxBytes) return SignatureCheck::Unreadable;
    // Ed25519 signs the message whole, not a digest of it: the file is read
    // into memory (bounded above).
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) return SignatureCheck::Unreadable;
    if (bytes.size() != size) return SignatureCheck::Unreadable;
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return SignatureCheck::BadKey;
    const int verified =
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                         size_t(signature.size()), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return verified == 1 ? SignatureCheck::Valid : SignatureCheck::Invalid;
}

std::string_view BuiltInUpdateKey() { return CORVALA_RESOURCE(corvala_update_key); }

const char* SignatureCheckName(SignatureCheck check) {
    switch (check) {
        case SignatureCheck::Valid: return "valid";
        case SignatureCheck::Invalid: return "does not verify";
        case SignatureCheck::MissingSignature: return "no signature of 64 bytes";
        case SignatureCheck::Unreadable: return "file unreadable or too large";
        case SignatureCheck::BadKey: return "the built-in key is not an Ed25519 public key";
    }
    return "?";
}

}  // namespace corvala::update
