#pragma once
// crsignal's core: accepts TLS connections on one event loop, splits what
// they send into lines and acts on each line (join, relay, relays, reviews).
// No thread per connection; every buffer a client can fill is bounded.

#include "RelayDirectory.h"
#include "ServerOptions.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace corvala::signal {

class Connection;

class SignalServer {
public:
    SignalServer(asio::io_context& io, ServerOptions options);
    ~SignalServer();

    // The port actually bound (differs from the options when they asked for 0).
    std::uint16_t port() const;
    void start();
    void stop();

    std::size_t connectionCount() const { return connections_.size(); }

private:
    friend class Connection;

    void accept();
    void sweep();
    void handleLine(Connection& from, std::string_view line);
    void forget(Connection& c);
    void join(Connection& c, const std::string& id);
    void appendReview(const std::string& from, const std::string& payload);
    void log(const std::string& text) const;

    asio::io_context& io_;
    ServerOptions options_;
    asio::ssl::context tls_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer acceptPause_;
    asio::steady_timer sweepTimer_;
    std::unordered_set<std::shared_ptr<Connection>> connections_;
    std::unordered_map<std::string, Connection*> registry_;
    RelayDirectory relays_;
    // Connections read one at a time on this one thread: one buffer serves all.
    std::array<char, 16384> readBuffer_{};
    std::uint64_t nextSerial_ = 1;
    bool stopped_ = false;
};

}  // namespace corvala::signal
