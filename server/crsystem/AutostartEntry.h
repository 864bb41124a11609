#pragma once
// Automatic start at login on a freedesktop desktop: an autostart entry in
// the user's configuration that starts the program as the companion service
// would, and the marker folder "~i" by which the program knows it is on.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Folders.h"

namespace corvala::companion {

// $XDG_CONFIG_HOME/autostart/corvala.desktop, else ~/.config/autostart/...;
// nothing when neither variable names a folder.
std::optional<std::filesystem::path> AutostartEntryPath(const platform::EnvironmentLookup& env);

// One argument of a desktop entry's Exec key: quoted when it holds anything
// but plain characters, with the characters the key reserves escaped, and
// the backslashes doubled once more for the string value the key is.
std::string QuoteExecArgument(const std::string& argument);

// The entry's text: `program` with "/from_service"; `programFolder` is
// passed on as CORVALA_HOME when the folder was chosen that way.
std::string AutostartEntryText(const std::filesystem::path& program,
                               const std::optional<std::filesystem::path>& programFolder);

// Writes the entry and creates the marker; an error text, empty on success.
std::string InstallAutostart(const std::filesystem::path& entry, const std::filesystem::path& programFolder,
                             bool passProgramFolder);
// Removes both; an error text, empty on success (absent counts as removed).
std::string UninstallAutostart(const std::filesystem::path& entry, const std::filesystem::path& programFolder);

}  // namespace corvala::companion
