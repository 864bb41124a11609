#pragma once
// A blocking TLS 1.2 line client, as the program's own signalling connection
// talks: it verifies the server against a root file, writes lines with CR LF
// and reads lines ending in LF. Reads wait at most a given time.

#include <openssl/ssl.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvala::testing {

class TlsLineClient {
public:
    TlsLineClient() = default;
    ~TlsLineClient();
    TlsLineClient(const TlsLineClient&) = delete;
    TlsLineClient& operator=(const TlsLineClient&) = delete;

    // TCP connect to 127.0.0.1:port only (for tests that misbehave below TLS).
    bool connectTcp(std::uint16_t port);
    // TCP connect plus TLS handshake verified against `caFile`.
    bool connect(std::uint16_t port, const std::string& caFile);

    bool writeLine(std::string_view line);   // appends CR LF
    bool writeRaw(std::string_view bytes);   // through TLS
    bool writePlain(std::string_view bytes); // straight onto the socket
    void shutdownWrite();                    // TCP half-close

    // The next line without its line end; nothing on time-out or close.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // True once the server has closed the connection (within `timeout`).
    // Lines that arrive meanwhile are discarded.
    bool waitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    int fd() const { return fd_; }

private:
    // Reads more bytes into buffer_; false on time-out, error or close.
    bool fill(std::chrono::steady_clock::time_point until, bool& closed);

    int fd_ = -1;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string buffer_;
};

}  // namespace corvala::testing
