#pragma once
// The integrity test of the files the program trusts from its folder: the
// root certificate and the media engine must be exactly the ones this build
// delivered.

#include <QString>
#include <optional>
#include <span>

namespace corvala {

struct ExpectedDigest {
    const char* FileName;
    const char* Md5Hex;  // lower-case hexadecimal
};

// The digests of the files this build put into the program and its payload.
std::span<const ExpectedDigest> DeliveredDigests();

// Lower-case hexadecimal MD5 of a file's content; empty when unreadable.
QString FileMd5Hex(const QString& path);

// The first file (in the given order) that is missing or differs.
std::optional<QString> FirstIntegrityFailure(const QString& folder, std::span<const ExpectedDigest> expected);

}  // namespace corvala
