#include "ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace corvala::testing {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    if (!v) throw std::runtime_error(std::string(name) + " is not set");
    return v;
}

}  // namespace

std::string BinDir() { return env("CORVALA_BIN_DIR"); }
std::string SourceDir() { return env("CORVALA_SOURCE_DIR"); }
std::string PkiFile(const std::string& name) { return env("CORVALA_PKI_DIR") + "/" + name; }

std::string RunProgram(const std::string& program, const std::string& arguments, int& exitCode) {
    const std::string command = BinDir() + "/" + program + " " + arguments;
    FILE* p = popen(command.c_str(), "r");
    if (!p) throw std::runtime_error("cannot run " + command);
    std::string text;
    char buf[512];
    while (const size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    const int status = pclose(p);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return text;
}

ServerProcess::ServerProcess(const std::string& program, std::vector<std::string> args) {
    const std::string path = BinDir() + "/" + program;
    args.insert(args.begin(), path);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    stdout_ = pipeFds[0];
    // The first line is "<name> listening on ADDRESS:PORT".
    std::string line;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
        pollfd p{stdout_, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char c[256];
        const auto n = read(stdout_, c, sizeof c);
        if (n <= 0) break;
        line.append(c, static_cast<size_t>(n));
    }
    output_ = line;
    line = line.substr(0, line.find('\n'));
    const auto colon = line.rfind(':');
    if (line.find(" listening on ") != std::string::npos && colon != std::string::npos)
        port_ = static_cast<std::uint16_t>(std::atoi(line.c_str() + colon + 1));
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) terminate(std::chrono::seconds(5));
    if (stdout_ >= 0) close(stdout_);
}

bool ServerProcess::running() {
    if (pid_ <= 0) return false;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

bool ServerProcess::waitForOutput(const std::string& text, std::size_t times, std::chrono::milliseconds limit) {
    const auto count = [&] {
        std::size_t found = 0;
        for (auto at = output_.find(text); at != std::string::npos; at = output_.find(text, at + text.size())) ++found;
        return found;
    };
    const auto until = std::chrono::steady_clock::now() + limit;
    while (count() < times && std::chrono::steady_clock::now() < until) {
        pollfd p{stdout_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c[4096];
        const auto n = read(stdout_, c, sizeof c);
        if (n <= 0) break;
        output_.append(c, static_cast<size_t>(n));
    }
    return count() >= times;
}

int ServerProcess::terminate(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

long ServerProcess::residentKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

}  // namespace corvala::testing
