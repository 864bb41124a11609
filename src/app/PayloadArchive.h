#pragma once
// The archive of companion programs that travels inside `cr`.

#include <filesystem>
#include <string_view>

namespace corvala {

// Extracts every entry of the ZIP archive into `folder`, overwriting. Entries
// whose names would leave the folder are skipped. Each file is written beside
// its destination and renamed over it, so a program that is running from the
// destination keeps running and the new file still lands. Returns false when
// the archive cannot be read; entries extracted before a failure stay.
bool ExtractArchive(const std::filesystem::path& archive, const std::filesystem::path& folder);

// The archive linked into this executable (empty in programs without one).
std::string_view EmbeddedPayload();

}  // namespace corvala
