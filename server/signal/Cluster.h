#pragma once
// What crsignal instances share through one Redis: which instance holds
// which ID, the messages for IDs held elsewhere, and the announced relays.
//
// Registry: "crsignal:id:<ID>" names the instance holding the ID. It expires
// when the holder's connection has been silent for the live window, which
// is the takeover rule's own limit, so a silent copy loses its ID at the same
// moment whichever instance the next join reaches. Live connections renew
// their key from their keep-alives (in batches, every quarter of the window);
// an instance that dies stops renewing and its IDs go within the window.
// Claims and renewals are Lua scripts: read and write happen as one step, so
// two instances cannot both win one ID.
//
// Messages: pub/sub, one channel per instance. A signalling message is worth
// something only while both ends are connected, so at-most-once delivery with
// no backlog fits it: streams would keep (and need trimming of) what no one
// will read after a restart, and PUBLISH says at once whether anyone listened,
// which turns into "invalid_id" for the sender. A subscription says nothing
// when it stops working without closing (Redis hung for that connection, a
// path dropping its packets): each instance publishes a heartbeat to its own
// channel every second and subscribes anew when one has not come back
// through the subscription within the commands' stall limit.
//
// Relays: each instance rewrites its own announcements every second under a
// key that dies with it, and reads everyone else's at the same pace.
//
// Runs on the server's first loop; call it only from that thread.

#include "RedisConnection.h"
#include "RelayDirectory.h"
#include "ServerOptions.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvala::signal {

class Cluster {
public:
    using Clock = std::chrono::steady_clock;

    // What the cluster needs from the server, all called on the cluster's thread.
    struct Server {
        // A message from another instance for `to`, which should be joined here.
        std::function<void(std::string_view to, std::string_view line)> deliver;
        // The IDs joined here, with how much of the live window is left to
        // each (zero or less: its connection has been silent for longer).
        std::function<std::vector<std::pair<std::string, Clock::duration>>()> heldIds;
        // Another instance holds `id` now: its connection here must go.
        std::function<void(const std::string& id, const std::string& holder)> lost;
        std::function<std::vector<Relay>()> ownRelays;
        std::function<void(std::vector<Relay>)> otherRelays;
    };

    enum class Claim { Granted, HeldElsewhere, Unreachable };

    Cluster(asio::io_context& loop, const RedisAddress& redis, Clock::duration liveWindow, Server server);
    ~Cluster();

    void start();
    // Gives up this instance's IDs and relays at once instead of at expiry.
    void stop();
    const std::string& instance() const { return instance_; }

    // `done` gets the outcome and, when held elsewhere, the holder's name.
    void claim(const std::string& id, std::function<void(Claim, const std::string& holder)> done);
    void release(const std::string& id);
    // `done(false)`: no instance took the message (nobody holds `to`, or its
    // holder is gone or out of reach).
    void route(const std::string& to, std::string_view line, std::function<void(bool)> done);

private:
    // Each runs now and then again on its own timer.
    void renewIds();
    void shareRelays();
    void checkSubscription();
    void every(asio::steady_timer& timer, Clock::duration period, void (Cluster::*work)());
    void received(std::string_view message);
    std::chrono::milliseconds ttl(Clock::duration left) const;
    Clock::duration renewPeriod() const;

    asio::io_context& loop_;
    Clock::duration liveWindow_;
    Server server_;
    std::string instance_;
    std::string claimScript_, routeScript_;  // names of loaded scripts
    RedisConnection commands_;
    RedisConnection messages_;  // subscribed: carries nothing else
    asio::steady_timer renewTimer_;
    asio::steady_timer relayTimer_;
    asio::steady_timer heartbeatTimer_;
    // When the oldest heartbeat not yet heard back was published; none
    // while every published one came back.
    std::optional<Clock::time_point> unheardSince_;
    bool stopped_ = false;
};

}  // namespace corvala::signal
