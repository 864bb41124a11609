#pragma once
// The check that makes a downloaded executable safe to run: its detached
// Ed25519 signature (64 bytes, made over the whole file) must verify against
// the public key built into the program. The web site serves the signature
// beside the executable, under the same name followed by ".sig".

#include <QByteArray>

#include <filesystem>
#include <string_view>

namespace corvala::update {

inline constexpr qsizetype SignatureSize = 64;

enum class SignatureCheck {
    Valid,
    Invalid,          // the signature does not fit the file and the key
    MissingSignature, // no signature, or not 64 bytes
    Unreadable,       // the file cannot be read or is larger than allowed
    BadKey,           // the built-in key is not an Ed25519 public key
};

// `publicKeyPem`: an Ed25519 public key in PEM ("BEGIN PUBLIC KEY").
// `maxBytes`: a larger file is not read (Unreadable).
SignatureCheck VerifyFileSignature(const std::filesystem::path& file, const QByteArray& signature,
                                   std::string_view publicKeyPem, qint64 maxBytes);

// The key this build trusts: the development key made beside the
// development PKI, or the production key the build was given.
std::string_view BuiltInUpdateKey();

const char* SignatureCheckName(SignatureCheck check);

}  // namespace corvala::update
