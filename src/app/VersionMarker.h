#pragma once
// The version number of a program file, read from its bytes without running
// it: every build of `cr` carries the marker "CORVALA-VERSION:<number>" followed
// by a NUL. The number is major × 10 + minor (4.2 gives 42).

#include <filesystem>
#include <optional>
#include <string_view>

namespace corvala {

// This build's own number.
int OwnVersionNumber();

// The number in a file's marker, or nothing when the file has none or cannot
// be read.
std::optional<int> ReadVersionNumber(const std::filesystem::path& file);

// The number in a block of bytes (first well-formed marker).
std::optional<int> FindVersionNumber(std::string_view bytes);

}  // namespace corvala
