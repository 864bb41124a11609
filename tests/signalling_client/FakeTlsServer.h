#pragma once
// A tiny TLS line server for the cases crsignal never produces (an over-long
// line, a peer that stalls the handshake or never answers the join, a
// TLS 1.3-only server) and for watching the exact bytes the client writes. It accepts on 127.0.0.1 on its own thread
// and runs a script for each connection, one connection at a time.

#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace corvala::testing {

class FakeTlsPeer {
public:
    FakeTlsPeer(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
    ~FakeTlsPeer();
    // Next line without CR LF; nothing on close, error or after `timeout`.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    bool write(const std::string& bytes);
    // True once the client closed the connection within `timeout`.
    bool waitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
    int fd_;
    SSL* ssl_;
    std::string buffer_;
    bool closed_ = false;
};

class FakeTlsServer {
public:
    // `script` gets each accepted, handshaken connection and its index (0, 1, ...).
    using Script = std::function<void(FakeTlsPeer& peer, int index)>;
    // The server speaks `protocolVersion` only (TLS1_2_VERSION, TLS1_3_VERSION).
    FakeTlsServer(const std::string& certChainFile, const std::string& keyFile, Script script,
                  int protocolVersion = TLS1_2_VERSION);
    ~FakeTlsServer();
    std::uint16_t port() const { return port_; }
    int accepted() const { return accepted_.load(); }

private:
    void run();
    SSL_CTX* ctx_ = nullptr;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    Script script_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// The standard "joined" answer as crsignal writes it, with CR LF.
inline const std::string JoinedLine = "{\"msg\":\"joined\"}\r\n";

}  // namespace corvala::testing
