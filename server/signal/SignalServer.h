#pragma once
// crsignal's core: accepts TLS connections, hands each to one of its event
// loops (one thread each), splits what they send into lines and acts on each
// line (join, relay, relays, reviews). A connection lives on one loop for its
// whole life; what all loops share (the registry, relays, limits, reviews)
// sits behind one lock, and a line for a connection on another loop is
// posted to that loop. Every buffer and count a client can fill is
// bounded. An ID belongs to one live connection at a time, and a connection
// speaks only for the ID it joined under.
//
// With --redis the server is one of a cluster (see Cluster): a join is
// confirmed only once Redis granted the ID, a message for an ID not joined
// here goes through Redis, and what arrives from Redis is delivered here.
// Messages between two clients of this server never touch Redis.

#include "Cluster.h"
#include "LineMembers.h"
#include "LogThrottle.h"
#include "RelayDirectory.h"
#include "ServerOptions.h"
#include "SourceLimits.h"

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <nlohmann/json_fwd.hpp>

#include <atomic>
#include <functional>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvala::signal {

class Connection;

// The registry looks IDs up by view: the "to" of a relayed line is not copied.
struct IdHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view id) const noexcept { return std::hash<std::string_view>{}(id); }
};
using Registry = std::unordered_map<std::string, Connection*, IdHash, std::equal_to<>>;

class SignalServer {
public:
    // The first loop also runs the acceptor; the caller runs every loop on
    // its own thread.
    SignalServer(const std::vector<asio::io_context*>& loops, ServerOptions options);
    ~SignalServer();

    // The port actually bound (differs from the options when they asked for 0).
    std::uint16_t port() const;
    void start();
    void stop();
    // Serves `fd`, one end of a local stream pair, as a client connection
    // that carries the lines without TLS (a gateway decrypted them), under
    // the same registry, limits and identity checks; `source` is the
    // gateway's client's address. Takes the descriptor in every case. Runs
    // on the first event loop.
    void adoptPlain(int fd, const Source& source);

private:
    friend class Connection;

    // One event loop and the connections it serves; touched only on its thread.
    struct Loop {
        explicit Loop(asio::io_context& context) : io(context), sweepTimer(context) {}
        asio::io_context& io;
        asio::steady_timer sweepTimer;
        std::unordered_set<std::shared_ptr<Connection>> connections;
        // Lines other loops relay to this loop's connections. Drained in one
        // turn, so that a busy relay wakes the loop once per batch rather
        // than once per line.
        std::mutex inboxLock;
        std::vector<std::pair<std::shared_ptr<Connection>, std::string>> inbox;
    };

    // The loop the next connection goes to, in turn; on the first loop.
    Loop& nextLoop();
    void accept();
    void admit(Loop& loop, asio::ip::tcp::socket socket);
    void enroll(Loop& loop, asio::ip::tcp::socket socket, const Source& source, bool tls);
    void sweep(Loop& loop);
    // Closes every connection of `loop`; runs on its thread.
    void closeAll(Loop& loop);
    // Queues `line` for `to`, on `to`'s loop.
    void deliver(Connection& to, std::string_view line);
    void drainInbox(Loop& loop);
    // Acts on one line; tells why when it ignored the line as malformed.
    const char* handleLine(Connection& from, std::string_view line);
    const char* relay(Connection& from, const LineMembers& members, std::string_view line);
    // Under shared_: the registry's write lock is taken here.
    void eraseRegistration(Registry::iterator it);
    void forget(Connection& c);
    void join(Connection& c, const std::string& id);
    // The cluster's answer to a join; on `c`'s loop.
    void settleJoin(Connection& c, const std::string& id, Cluster::Claim claim, const std::string& holder);
    // A message for an ID not joined here: the cluster finds its server.
    void routeElsewhere(Connection& from, const std::string& to, std::string_view line);
    // What the cluster asks of this server (on the first loop).
    Cluster::Server clusterHooks();
    // Runs `work` on the cluster's loop.
    void onClusterLoop(std::function<void()> work);
    // True when `c` may send a line of kind `msg` (read as `line`) under
    // the ID it joined; otherwise drops it, logs and counts the violation,
    // and closes the connection at the last one allowed.
    bool speaksForItself(Connection& c, const LineMembers& line, std::string_view msg);
    void appendReview(Connection& c, const std::string& payload);
    // Refused input: written whatever --verbose says, within LogThrottle's bound.
    void logRefusal(const Connection& c, const std::string& what);
    void logRefusal(const std::string& text);
    void log(const std::string& text) const;

    ServerOptions options_;
    std::vector<std::unique_ptr<Loop>> loops_;
    asio::ssl::context tls_;
    asio::ip::tcp::acceptor acceptor_;  // on the first loop
    asio::steady_timer acceptPause_;
    std::size_t nextLoop_ = 0;  // round robin, on the acceptor's thread
    std::atomic<std::size_t> connectionCount_{0};
    std::atomic<std::uint64_t> nextSerial_{1};
    std::atomic<bool> stopped_{false};
    std::unique_ptr<Cluster> cluster_;  // on the first loop; none when alone

    // Guards every member below. Recursive: a line's handling may close a
    // connection, whose cleanup takes the lock again on the same thread.
    std::recursive_mutex shared_;
    // Written under shared_ and registryLock_ (exclusively) together; read
    // under either, so that relaying a message needs only the read lock.
    std::shared_mutex registryLock_;
    Registry registry_;
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
};

}  // namespace corvala::signal
