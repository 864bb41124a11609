#include "TlsLineClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvala::testing {

using Clock = std::chrono::steady_clock;

TlsLineClient::~TlsLineClient() {
    if (ssl_) SSL_free(ssl_);
    if (ctx_) SSL_CTX_free(ctx_);
    if (fd_ >= 0) close(fd_);
}

bool TlsLineClient::connectTcp(std::uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool TlsLineClient::connect(std::uint16_t port, const std::string& caFile) {
    if (!connectTcp(port)) return false;
    ctx_ = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_verify_depth(ctx_, 2);
    if (SSL_CTX_load_verify_locations(ctx_, caFile.c_str(), nullptr) != 1) return false;
    ssl_ = SSL_new(ctx_);
    SSL_set_fd(ssl_, fd_);
    SSL_set1_host(ssl_, "127.0.0.1");
    return SSL_connect(ssl_) == 1;
}

bool TlsLineClient::writeRaw(std::string_view bytes) {
    while (!bytes.empty()) {
        const int n = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool TlsLineClient::writeLine(std::string_view line) {
    std::string l(line);
    l += "\r\n";
    return writeRaw(l);
}

bool TlsLineClient::writePlain(std::string_view bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

void TlsLineClient::shutdownWrite() { ::shutdown(fd_, SHUT_WR); }

bool TlsLineClient::fill(Clock::time_point until, bool& closed) {
    closed = false;
    char chunk[16384];
    for (;;) {
        if (ssl_ && SSL_pending(ssl_) == 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        }
        int n;
        if (ssl_) {
            n = SSL_read(ssl_, chunk, sizeof chunk);
            if (n <= 0) {
                const int err = SSL_get_error(ssl_, n);
                if (err == SSL_ERROR_WANT_READ) continue;  // a record without data yet
                closed = true;
                return false;
            }
        } else {
            pollfd p{fd_, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            n = static_cast<int>(recv(fd_, chunk, sizeof chunk, 0));
            if (n <= 0) {
                closed = true;
                return false;
            }
        }
        buffer_.append(chunk, static_cast<size_t>(n));
        return true;
    }
}

std::optional<std::string> TlsLineClient::readLine(std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
        const auto nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        bool closed = false;
        if (!fill(until, closed)) return std::nullopt;
    }
}

bool TlsLineClient::waitClosed(std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
        bool closed = false;
        if (!fill(until, closed)) return closed;
        buffer_.clear();
    }
}

}  // namespace corvala::testing
