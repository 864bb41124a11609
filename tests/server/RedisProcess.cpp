#include "RedisProcess.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace corvala::testing {
namespace {

// A port the kernel just handed out and took back: free unless someone takes it meanwhile.
std::uint16_t freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    std::uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

bool accepts(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopback(port);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

}  // namespace

RedisProcess::RedisProcess() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = freePort();
        if (port_ && start()) return;
        kill();
    }
    port_ = 0;
}

RedisProcess::~RedisProcess() { kill(); }

std::string RedisProcess::url() const { return "redis://127.0.0.1:" + std::to_string(port_); }

bool RedisProcess::start() {
    std::vector<std::string> args{"redis-server", "--port", std::to_string(port_), "--bind", "127.0.0.1",
                                  "--save", "", "--appendonly", "no", "--daemonize", "no",
                                  "--loglevel", "warning", "--protected-mode", "yes"};
    pid_ = fork();
    if (pid_ == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("redis-server", argv.data());
        _exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        if (accepts(port_)) return true;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {  // exited: the port was taken after all
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void RedisProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace corvala::testing
