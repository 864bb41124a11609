#include "FakeTlsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace corvala::testing {

using Clock = std::chrono::steady_clock;

FakeTlsPeer::~FakeTlsPeer() {
    SSL_free(ssl_);
    ::close(fd_);
}

std::optional<std::string> FakeTlsPeer::readLine(std::chrono::milliseconds timeout) {
    if (closed_) return std::nullopt;
    const auto until = Clock::now() + timeout;
    for (;;) {
        if (const auto lf = buffer_.find('\n'); lf != std::string::npos) {
            std::string line = buffer_.substr(0, lf);
            buffer_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (SSL_pending(ssl_) == 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
        }
        char chunk[16384];
        const int n = SSL_read(ssl_, chunk, sizeof chunk);
        if (n <= 0) {
            closed_ = true;
            return std::nullopt;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

bool FakeTlsPeer::write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const int n = SSL_write(ssl_, bytes.data() + done, static_cast<int>(bytes.size() - done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool FakeTlsPeer::waitClosed(std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (!closed_ && Clock::now() < until)
        readLine(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
    return closed_;
}

FakeTlsServer::FakeTlsServer(const std::string& certChainFile, const std::string& keyFile, Script script,
                             int protocolVersion)
    : script_(std::move(script)) {
    ctx_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_min_proto_version(ctx_, protocolVersion);
    SSL_CTX_set_max_proto_version(ctx_, protocolVersion);
    if (SSL_CTX_use_certificate_chain_file(ctx_, certChainFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        throw std::runtime_error("fake server: cannot load " + certChainFile);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 8) != 0)
        throw std::runtime_error("fake server: cannot listen");
    socklen_t len = sizeof a;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

FakeTlsServer::~FakeTlsServer() {
    stop_ = true;
    thread_.join();
    ::close(listenFd_);
    SSL_CTX_free(ctx_);
}

void FakeTlsServer::run() {
    int index = 0;
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        timeval tv{30, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        SSL* ssl = SSL_new(ctx_);
        SSL_set_fd(ssl, fd);
        FakeTlsPeer peer(fd, ssl);
        if (SSL_accept(ssl) != 1) continue;
        ++accepted_;
        script_(peer, index++);
    }
}

}  // namespace corvala::testing
