// crsystem: the companion service helper. On Linux there is no service
// manager to install into; its jobs are the effects the program relies on:
//   /install /silent    start `cr /from_service` once (the one-shot launch)
//   /uninstall /silent  undo the one-shot launch: nothing remains to remove
//   /install            automatic start at every login: an XDG autostart
//                       entry, and the marker folder "~i"
//   /uninstall          remove the autostart entry and the marker
// Its folder is the program folder.

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Folders.h"
#include "platform/linux/LinuxShell.h"

namespace fs = std::filesystem;

namespace {

fs::path ProgramFolder() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path();
}

fs::path AutostartEntry() {
    using corvala::platform::ProcessEnvironment;
    fs::path config = ProcessEnvironment("XDG_CONFIG_HOME")
                          .value_or(ProcessEnvironment("HOME").value_or("/tmp") + "/.config");
    return config / "autostart" / "corvala.desktop";
}

bool Has(const std::vector<std::string>& args, const char* flag) {
    return std::any_of(args.begin(), args.end(), [&](const std::string& a) {
        return a.size() > 1 && (a[0] == '/' || a[0] == '-') && strcasecmp(a.c_str() + 1, flag) == 0;
    });
}

int InstallAutostart(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(AutostartEntry().parent_path(), ec);
    std::ofstream entry(AutostartEntry());
    entry << "[Desktop Entry]\nType=Application\nName=Corvala\n"
          << "Exec=\"" << (folder / "cr").string() << "\" /from_service\n"
          << "X-GNOME-Autostart-enabled=true\n";
    if (!entry) return 1;
    fs::create_directory(folder / "~i", ec);
    return fs::is_directory(folder / "~i") ? 0 : 1;
}

int UninstallAutostart(const fs::path& folder) {
    std::error_code ec;
    fs::remove(AutostartEntry(), ec);
    fs::remove(folder / "~i", ec);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const fs::path folder = ProgramFolder();
    const bool silent = Has(args, "silent");
    if (Has(args, "install")) {
        if (silent) {
            return corvala::platform::linuxos::SpawnDetached({(folder / "cr").string(), "/from_service"}) ? 0 : 1;
        }
        return InstallAutostart(folder);
    }
    if (Has(args, "uninstall")) return silent ? 0 : UninstallAutostart(folder);
    std::fprintf(stderr, "usage: crsystem /install [/silent] | /uninstall [/silent]\n");
    return 2;
}
