#include "platform/linux/SessionUser.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

extern char** environ;

namespace corvala::platform::linuxos {

namespace {

// An environ file is bounded: the kernel caps it near the argument limit;
// anything larger is not a process's environment.
constexpr std::size_t MaxEnvironmentBytes = 1 << 20;

std::optional<std::vector<std::string>> ReadEnvironment(const std::string& pidFolder) {
    std::ifstream in(pidFolder + "/environ", std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    bytes.reserve(4096);
    char c;
    while (bytes.size() <= MaxEnvironmentBytes && in.get(c)) bytes.push_back(c);
    if (bytes.size() > MaxEnvironmentBytes) return std::nullopt;
    std::vector<std::string> entries;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\0') {
            if (i > start) entries.emplace_back(bytes, start, i - start);
            start = i + 1;
        }
    }
    return entries;
}

bool HasDisplay(const std::vector<std::string>& entries) {
    for (const auto& e : entries)
        if ((e.rfind("DISPLAY=", 0) == 0 || e.rfind("WAYLAND_DISPLAY=", 0) == 0) && e.find('=') + 1 < e.size())
            return true;
    return false;
}

std::string PathOf(const std::vector<std::string>& environment) {
    for (const auto& e : environment)
        if (e.rfind("PATH=", 0) == 0) return e.substr(5);
    return "/usr/local/bin:/usr/bin:/bin";
}

std::string Resolve(const std::string& program, const std::vector<std::string>& environment) {
    if (program.find('/') != std::string::npos) return program;
    const std::string path = PathOf(environment);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            std::string candidate = path.substr(start, end - start) + "/" + program;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

std::optional<std::vector<std::string>> GraphicalEnvironmentOf(uid_t uid) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return std::nullopt;
    std::optional<std::vector<std::string>> best;
    long bestStart = -1;
    while (dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        const std::string folder = std::string("/proc/") + entry->d_name;
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || st.st_uid != uid) continue;
        auto environment = ReadEnvironment(folder);
        if (!environment || !HasDisplay(*environment)) continue;
        // The newest process carries the session's current variables (a
        // display manager may have restarted the session since older ones).
        const long started = static_cast<long>(st.st_ctime);
        if (started >= bestStart) {
            bestStart = started;
            best = std::move(environment);
        }
    }
    ::closedir(proc);
    return best;
}

std::vector<std::string> OwnEnvironment() {
    std::vector<std::string> out;
    for (char** e = environ; e && *e; ++e) out.emplace_back(*e);
    return out;
}

bool SpawnAsUser(uid_t uid, const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    if (argv.empty()) return false;
    const bool root = ::geteuid() == 0;
    if (!root && uid != ::geteuid()) return false;
    // Acting for oneself changes nothing: a process of root in a user
    // namespace may not even set its groups.
    const bool switchUser = uid != ::geteuid();
    const std::string program = Resolve(argv[0], environment);
    if (program.empty()) return false;
    passwd* account = ::getpwuid(uid);
    if (!account) return false;
    const gid_t gid = account->pw_gid;
    const std::string name = account->pw_name;
    const std::string home = account->pw_dir;

    std::vector<char*> args, env;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);

    // Two forks: the grandchild belongs to init, so nothing waits for it and
    // no zombie stays; the pipe tells whether the exec happened.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        if (::fork() != 0) ::_exit(0);
        ::setsid();
        const int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, 0);
            if (devnull > 2) ::close(devnull);
        }
        if (switchUser && (::initgroups(name.c_str(), gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            const char failed = 1;
            (void)!::write(report[1], &failed, 1);
            ::_exit(127);
        }
        if (::chdir(home.c_str()) != 0) (void)!::chdir("/");
        ::execve(program.c_str(), args.data(), env.data());
        const char failed = 1;
        (void)!::write(report[1], &failed, 1);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    char failed = 0;
    const ssize_t n = ::read(report[0], &failed, 1);
    ::close(report[0]);
    return n == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace corvala::platform::linuxos
