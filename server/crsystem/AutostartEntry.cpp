#include "AutostartEntry.h"

#include <fstream>
#include <sstream>

namespace corvala::companion {

namespace fs = std::filesystem;

std::optional<fs::path> AutostartEntryPath(const platform::EnvironmentLookup& env) {
    fs::path config;
    if (auto xdg = env("XDG_CONFIG_HOME"); xdg && fs::path(*xdg).is_absolute())
        config = *xdg;
    else if (auto home = env("HOME"); home && fs::path(*home).is_absolute())
        config = fs::path(*home) / ".config";
    else
        return std::nullopt;
    return config / "autostart" / "corvala.desktop";
}

std::string QuoteExecArgument(const std::string& argument) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool plain = !argument.empty() && argument.find_first_of(reserved) == std::string::npos;
    std::string out;
    if (!plain) out += '"';
    for (char c : argument) {
        if (!plain && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        if (c == '%') out += '%';  // a literal percent sign, not a field code
        out += c;
    }
    if (!plain) out += '"';
    // The Exec value is itself a string value, whose escape character is
    // also the backslash.
    std::string escaped;
    for (char c : out) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string AutostartEntryText(const fs::path& program, const std::optional<fs::path>& programFolder) {
    std::string exec;
    if (programFolder) exec = "env " + QuoteExecArgument("CORVALA_HOME=" + programFolder->string()) + " ";
    exec += QuoteExecArgument(program.string()) + " /from_service";
    std::ostringstream text;
    text << "[Desktop Entry]\n"
         << "Type=Application\n"
         << "Name=Corvala\n"
         << "Comment=Remote desktop: reachable from the start of the session\n"
         << "Exec=" << exec << "\n"
         << "Icon=corvala\n"
         << "Terminal=false\n"
         << "NoDisplay=true\n"
         << "X-GNOME-Autostart-enabled=true\n";
    return text.str();
}

std::string InstallAutostart(const fs::path& entry, const fs::path& programFolder, bool passProgramFolder) {
    std::error_code ec;
    fs::create_directories(entry.parent_path(), ec);
    if (ec) return "cannot create " + entry.parent_path().string() + ": " + ec.message();
    // Written beside and renamed over: a session starting now reads the old
    // entry or the new one, never half of one.
    fs::path partial = entry;
    partial += ".part";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << AutostartEntryText(programFolder / programfiles::Program,
                                  passProgramFolder ? std::optional(programFolder) : std::nullopt);
        if (!out.flush()) return "cannot write " + partial.string();
    }
    fs::rename(partial, entry, ec);
    if (ec) return "cannot write " + entry.string() + ": " + ec.message();
    fs::create_directory(programFolder / programfiles::AutostartMarker, ec);
    if (!fs::is_directory(programFolder / programfiles::AutostartMarker))
        return "cannot create the marker in " + programFolder.string() + ": " + ec.message();
    return {};
}

std::string UninstallAutostart(const fs::path& entry, const fs::path& programFolder) {
    std::error_code ec;
    fs::remove(entry, ec);
    if (ec) return "cannot remove " + entry.string() + ": " + ec.message();
    fs::remove(programFolder / programfiles::AutostartMarker, ec);
    if (ec) return "cannot remove the marker in " + programFolder.string() + ": " + ec.message();
    return {};
}

}  // namespace corvala::companion
