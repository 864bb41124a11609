#include "platform/linux/LinuxProcessTerminator.h"

#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <filesystem>

namespace corvala::platform::linuxos {

namespace fs = std::filesystem;

int LinuxProcessTerminator::TerminateProcessesNamed(const std::string& prefix, const fs::path& folder) {
    int asked = 0;
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(folder, ec);
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (pid == ::getpid()) continue;
        // Another user's process shows no link (EACCES) and is skipped.
        const fs::path executable = fs::read_symlink(entry.path() / "exe", ec);
        if (ec || executable.parent_path() != wanted) continue;
        const std::string program = executable.filename().string();
        if (program.size() < prefix.size() || ::strncasecmp(program.c_str(), prefix.c_str(), prefix.size()) != 0)
            continue;
        if (::kill(pid, SIGTERM) == 0) ++asked;
    }
    return asked;
}

}  // namespace corvala::platform::linuxos
