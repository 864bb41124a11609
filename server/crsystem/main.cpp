// crsystem: the companion helper. On Linux there is no service manager to
// install into; its jobs are the effects the program relies on:
//   /install /silent    start `cr /from_service` once, in the graphical
//                       session of the user who asked (also when started
//                       through pkexec, which leaves a bare environment)
//   /uninstall /silent  undo the one-shot launch: nothing remains to remove
//   /install            automatic start at every login: an XDG autostart
//                       entry, and the marker folder "~i"
//   /uninstall          remove the autostart entry and the marker
// The program folder is CORVALA_HOME when set; an elevated helper, whose
// environment is gone, uses the folder it was unpacked into; otherwise the
// program's own default.

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "AutostartEntry.h"
#include "platform/Folders.h"
#include "platform/linux/SessionUser.h"

namespace fs = std::filesystem;
using namespace corvala;
namespace lx = corvala::platform::linuxos;

namespace {

bool Has(const std::vector<std::string>& args, const char* flag) {
    return std::any_of(args.begin(), args.end(), [&](const std::string& a) {
        return a.size() > 1 && (a[0] == '/' || a[0] == '-') && strcasecmp(a.c_str() + 1, flag) == 0;
    });
}

// The user pkexec (or sudo) ran this helper for; nothing when not elevated.
std::optional<uid_t> InvokingUser() {
    if (::geteuid() != 0) return std::nullopt;
    for (const char* name : {"PKEXEC_UID", "SUDO_UID"}) {
        if (auto value = platform::ProcessEnvironment(name)) {
            char* end = nullptr;
            const unsigned long uid = std::strtoul(value->c_str(), &end, 10);
            if (end && *end == '\0' && uid > 0 && uid < 0x7fffffff) return static_cast<uid_t>(uid);
        }
    }
    return std::nullopt;
}

fs::path ProgramFolder(bool elevated) {
    if (auto home = platform::ProcessEnvironment("CORVALA_HOME")) return *home;
    std::error_code ec;
    if (elevated) return fs::read_symlink("/proc/self/exe", ec).parent_path();
    return platform::ResolveProgramFolders(platform::ProcessEnvironment, "/tmp").program;
}

int LaunchProgram(const fs::path& folder, std::optional<uid_t> invokingUser) {
    const uid_t uid = invokingUser.value_or(::geteuid());
    std::optional<std::vector<std::string>> environment =
        invokingUser ? lx::GraphicalEnvironmentOf(uid) : lx::OwnEnvironment();
    if (!environment) {
        std::fprintf(stderr, "crsystem: user %u runs no graphical session to start the program in\n", unsigned(uid));
        return 1;
    }
    // The program must find the same folder the helper was called from.
    std::erase_if(*environment, [](const std::string& e) { return e.rfind("CORVALA_HOME=", 0) == 0; });
    environment->push_back("CORVALA_HOME=" + folder.string());
    const std::string program = (folder / platform::programfiles::Program).string();
    if (!lx::SpawnAsUser(uid, {program, "/from_service"}, *environment)) {
        std::fprintf(stderr, "crsystem: %s did not start for user %u\n", program.c_str(), unsigned(uid));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool silent = Has(args, "silent");
    const bool install = Has(args, "install"), uninstall = Has(args, "uninstall");
    if (install == uninstall) {
        std::fprintf(stderr, "usage: crsystem /install [/silent] | /uninstall [/silent]\n");
        return 2;
    }
    const std::optional<uid_t> invokingUser = InvokingUser();
    const fs::path folder = ProgramFolder(invokingUser.has_value());
    if (silent) return install ? LaunchProgram(folder, invokingUser) : 0;

    if (invokingUser) {
        // Automatic start is the user's own configuration: an elevated
        // helper would write into the administrator's.
        std::fprintf(stderr, "crsystem: automatic start is set by the user, not through elevation\n");
        return 1;
    }
    const auto entry = companion::AutostartEntryPath(platform::ProcessEnvironment);
    if (!entry) {
        std::fprintf(stderr, "crsystem: neither XDG_CONFIG_HOME nor HOME names a folder\n");
        return 1;
    }
    const bool passFolder = platform::ProcessEnvironment("CORVALA_HOME").has_value();
    const std::string error = install ? companion::InstallAutostart(*entry, folder, passFolder)
                                      : companion::UninstallAutostart(*entry, folder);
    if (!error.empty()) {
        std::fprintf(stderr, "crsystem: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
