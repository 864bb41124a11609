#pragma once
// Where the program keeps its working files and where received files go.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace corvala::platform {

struct ProgramFolders {
    std::filesystem::path program;   // ProgramFolder
    std::filesystem::path received;  // ReceivedFilesFolder
};

using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// CORVALA_HOME, else $XDG_DATA_HOME/Corvala, else ~/.local/share/Corvala;
// CORVALA_RECEIVED, else the documents folder + "/Corvala".
// `documentsFolder` is the desktop's documents folder (XDG user dirs).
ProgramFolders ResolveProgramFolders(const EnvironmentLookup& env,
                                     const std::filesystem::path& documentsFolder);

// The process environment as an EnvironmentLookup; unset and empty are absent.
std::optional<std::string> ProcessEnvironment(const char* name);

// File names in the program folder.
namespace programfiles {
inline constexpr const char* Program = "cr";
inline constexpr const char* Update = "cr_update";
inline constexpr const char* CompanionService = "crsystem";
inline constexpr const char* RelayServer = "crserver";
inline constexpr const char* MediaEngine = "rt.so";
inline constexpr const char* RootCertificate = "cr2.dt";
inline constexpr const char* PayloadArchive = "data.zip";
inline constexpr const char* BrandingSource = "crcustom.txt";
inline constexpr const char* Branding = "crcustom1.txt";
inline constexpr const char* AutostartMarker = "~i";
inline constexpr const char* Settings = "set.dt";
inline constexpr const char* AddressBook = "adbook.dt";
inline constexpr const char* WakeTable = "mc.dt";
}  // namespace programfiles

}  // namespace corvala::platform

namespace corvala {
namespace programfiles = platform::programfiles;
}  // namespace corvala
