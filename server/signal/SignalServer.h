#pragma once
// crsignal's core: accepts TLS connections on one event loop, splits what
// they send into lines and acts on each line (join, relay, relays, reviews).
// No thread per connection; every buffer and count a client can fill is
// bounded. An ID belongs to one live connection at a time, and a connection
// speaks only for the ID it joined under.

#include "LogThrottle.h"
#include "RelayDirectory.h"
#include "ServerOptions.h"
#include "SourceLimits.h"

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <nlohmann/json_fwd.hpp>

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
    // Serves `fd`, one end of a local stream pair, as a client connection
    // that carries the lines without TLS (a gateway decrypted them), under
    // the same registry, limits and identity checks; `source` is the
    // gateway's client's address. Takes the descriptor in every case.
    void adoptPlain(int fd, const Source& source);

    std::size_t connectionCount() const { return connections_.size(); }

private:
    friend class Connection;

    void accept();
    void admit(asio::ip::tcp::socket socket);
    void enroll(asio::ip::tcp::socket socket, const Source& source, bool tls);
    void sweep();
    // Acts on one line; tells why when it ignored the line as malformed.
    const char* handleLine(Connection& from, std::string_view line);
    void forget(Connection& c);
    void join(Connection& c, const std::string& id);
    // True when `c` may send a line of kind `msg` (parsed as `doc`) under
    // the ID it joined; otherwise drops it, logs and counts the violation,
    // and closes the connection at the last one allowed.
    bool speaksForItself(Connection& c, const nlohmann::json& doc, std::string_view msg);
    void appendReview(Connection& c, const std::string& payload);
    // Refused input: written whatever --verbose says, within LogThrottle's bound.
    void logRefusal(const Connection& c, const std::string& what);
    void logRefusal(const std::string& text);
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
    // Reviews stored per joined ID on the current UTC day (cleared when it changes).
    std::unordered_map<std::string, std::size_t> reviewsToday_;
    long reviewDay_ = -1;
    SourceLimits sources_;
    LogThrottle refusalLog_;
    struct {
        std::uint64_t unjoined = 0;  // lines that needed a joined connection
        std::uint64_t spoofed = 0;   // messages whose "from" was not the sender's ID
    } identityDrops_;
    // Connections read one at a time on this one thread: one buffer serves all.
    std::array<char, 16384> readBuffer_{};
    std::uint64_t nextSerial_ = 1;
    bool stopped_ = false;
};

}  // namespace corvala::signal
