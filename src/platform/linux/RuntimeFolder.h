#pragma once
#include <filesystem>

namespace corvala::platform::linuxos {

// $XDG_RUNTIME_DIR, else /tmp/corvala-UID (created private to the user).
std::filesystem::path RuntimeFolder();

}  // namespace corvala::platform::linuxos
