#pragma once
// Browsers cannot open a raw TLS stream, so crsignal also listens for secure
// WebSockets (wss://) on a port of its own. Each text message carries exactly
// one signalling line. The gateway only moves lines: every browser becomes
// an ordinary client of the server through a local stream pair, so joins,
// relaying, limits and identity checks stay the server's own, and the TLS
// line port is untouched.
//
// The WebSocket protocol is Boost.Beast's, which needs Boost.Asio; the server
// runs standalone Asio. The gateway therefore runs its own event loop on a
// thread of its own and shares nothing with the server but the descriptors
// it hands over. No Boost type appears in this header.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace corvala::signal {

struct WebSocketOptions {
    std::string bindAddress = "0.0.0.0";
    std::uint16_t port = 0;  // 0 picks a free port
    std::string certChainFile;
    std::string keyFile;
    // TLS and WebSocket handshakes together must finish within this time.
    std::chrono::seconds handshakeTimeout{10};
    // Connections still in their handshakes at once; more are closed at once.
    std::size_t maxPendingHandshakes = 1024;
    // Longest text message accepted, without a line end: the line limit.
    std::size_t maxMessageBytes = 16384;
    bool verbose = false;
};

struct ServerOptions;
// The listener's settings from crsignal's own (address, certificate, timeouts).
WebSocketOptions WebSocketOptionsFor(const ServerOptions& server);

class WebSocketGateway {
public:
    // Receives the server's end of each upgraded browser's stream and the
    // browser's address as text; called on the gateway's thread. It owns
    // the descriptor from then on.
    using Adopt = std::function<void(int fd, const std::string& address)>;

    // Binds the port at once; throws when it cannot.
    WebSocketGateway(WebSocketOptions options, Adopt adopt);
    ~WebSocketGateway();
    WebSocketGateway(const WebSocketGateway&) = delete;
    WebSocketGateway& operator=(const WebSocketGateway&) = delete;

    std::uint16_t port() const;
    // Starts the gateway's thread.
    void start();
    // Closes the port and every browser connection, and joins the thread.
    void stop();

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace corvala::signal
