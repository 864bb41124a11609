#pragma once
// crsignal's command line.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RelayDirectory.h"
#include "SourceLimits.h"

namespace corvala::signal {

struct RedisAddress {
    std::string host;
    std::uint16_t port = 6379;
};

// "redis://HOST[:PORT]" or "HOST[:PORT]"; nothing when it is neither.
std::optional<RedisAddress> ParseRedisUrl(std::string_view url);

struct ServerOptions {
    std::string bindAddress = "0.0.0.0";
    std::uint16_t port = 8996;  // 0 picks a free port (printed at start)
    std::string certChainFile;
    std::string keyFile;
    std::vector<Relay> relays;     // from --relays FILE
    std::string reviewsFile;       // empty: reviews are dropped
    std::size_t reviewsPerConnection = 10;
    std::size_t reviewsPerDay = 5;                 // per joined ID and UTC day
    // UTF-8 bytes of the review text (the payload): as much as a line can carry.
    std::size_t maxReviewLength = 16384;
    std::uintmax_t reviewsFileLimit = 64 << 20;   // bytes the reviews file may reach
    std::size_t maxQueuedBytes = 1 << 20;
    std::chrono::seconds handshakeTimeout{10};
    std::chrono::seconds joinTimeout{30};  // after the handshake
    std::chrono::seconds idleTimeout{75};  // 0 disables
    std::size_t maxConnections = 60000;
    SourceFigures perSource;               // per IPv4 address or IPv6 /64
    // A registered ID stays with its connection while that connection sent
    // anything this recently; clients send a keep-alive every 15 s.
    std::chrono::seconds liveWindow{40};
    // Event loops serving connections, each on its own thread; 0: one per core.
    unsigned threads = 0;
    // The cluster's Redis; none: the server runs alone.
    std::optional<RedisAddress> redis;
    bool verbose = false;
    // Port of the secure WebSocket listener for browsers (0 picks a free
    // one); none: no WebSocket listener.
    std::optional<std::uint16_t> webSocketPort;
};

// Parses argv. On --help or an error it fills `message` (the help text or the
// error) and returns nothing; `exitCode` tells which of the two it was.
std::optional<ServerOptions> ParseServerOptions(int argc, char** argv, std::string& message, int& exitCode);

// Reads relays from a JSON array of ICE-server objects
// ({"ice_url":..,"ice_username":..,"ice_password":..,"country":..}).
std::vector<Relay> LoadRelayFile(const std::string& path);

}  // namespace corvala::signal
