#include "platform/linux/LinuxShell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

extern char** environ;

namespace corvala::platform::linuxos {

namespace {

pid_t Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    return pid;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// pkexec's own exit codes for a dismissed or refused authorisation.
constexpr int PkexecDismissed = 126;
constexpr int PkexecNotAuthorised = 127;

}  // namespace

std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> out;
    std::string current;
    bool quoted = false, any = false;
    for (char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) out.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) out.push_back(current);
    return out;
}

pid_t SpawnDetachedProcess(const std::vector<std::string>& argv) {
    pid_t pid = Spawn(argv);
    if (pid < 0) return -1;
    // Reap it whenever it ends so that no zombie is left behind.
    std::thread([pid] { int status; ::waitpid(pid, &status, 0); }).detach();
    return pid;
}

bool SpawnDetached(const std::vector<std::string>& argv) { return SpawnDetachedProcess(argv) >= 0; }

int SpawnAndWait(const std::vector<std::string>& argv) {
    pid_t pid = Spawn(argv);
    if (pid < 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        std::string candidate = dir + "/" + program;
        if (IsExecutableFile(candidate)) return candidate;
    }
    return {};
}

int LinuxShell::Execute(const std::string& verb, const std::string& file,
                        const std::string& parameters) {
    std::vector<std::string> argv;
    if (verb == "runas") {
        std::string pkexec = FindOnPath("pkexec");
        if (pkexec.empty() || !IsExecutableFile(file)) return ShellAccessDenied;
        argv = {pkexec, file};
        for (auto& p : SplitParameters(parameters)) argv.push_back(std::move(p));
        int status = SpawnAndWait(argv);
        if (status < 0 || status == PkexecDismissed || status == PkexecNotAuthorised)
            return ShellAccessDenied;
        return ShellSuccess;
    }
    if (IsExecutableFile(file)) {
        argv = {file};
        for (auto& p : SplitParameters(parameters)) argv.push_back(std::move(p));
    } else if (std::filesystem::exists(file) || file.find("://") != std::string::npos) {
        argv = {"xdg-open", file};
    } else {
        return ShellFileNotFound;
    }
    return SpawnDetached(argv) ? ShellSuccess : ShellFileNotFound;
}

}  // namespace corvala::platform::linuxos
