#include "platform/Folders.h"

#include <cstdlib>

namespace corvala::platform {

namespace fs = std::filesystem;

ProgramFolders ResolveProgramFolders(const EnvironmentLookup& env,
                                     const fs::path& documentsFolder) {
    ProgramFolders folders;
    if (auto home = env("CORVALA_HOME")) {
        folders.program = *home;
    } else if (auto data = env("XDG_DATA_HOME")) {
        folders.program = fs::path(*data) / "Corvala";
    } else {
        folders.program = fs::path(env("HOME").value_or("/tmp")) / ".local/share/Corvala";
    }
    if (auto received = env("CORVALA_RECEIVED")) {
        folders.received = *received;
    } else {
        folders.received = documentsFolder / "Corvala";
    }
    return folders;
}

std::optional<std::string> ProcessEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

}  // namespace corvala::platform
