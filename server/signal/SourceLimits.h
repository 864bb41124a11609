#pragma once
// What crsignal allows per source of connections: how many connections it
// holds at once and how fast it takes joins (a token bucket). A source is an
// IPv4 address or the /64 network of an IPv6 address, since one IPv6 host
// usually has a whole /64 to pick addresses from. Loopback sources are
// exempt unless asked otherwise: they are this machine itself, and behind a
// local proxy every client would share them.

#include <asio/ip/address.hpp>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace corvala::signal {

using SourceClock = std::chrono::steady_clock;

// An IPv6 address (IPv4 ones in their mapped form) with the host half cleared for IPv6.
using Source = std::array<std::uint8_t, 16>;
Source SourceOf(const asio::ip::address& address);
// "192.0.2.7" or "2001:db8:1:2::/64", for the log.
std::string SourceText(const Source& source);
// 127.0.0.0/8 or ::1.
bool IsLoopback(const Source& source);

// Holds up to `burst` tokens and gains `perMinute` of them a minute.
class TokenBucket {
public:
    TokenBucket(std::size_t burst, std::size_t perMinute, SourceClock::time_point now);
    // Takes one token if there is one.
    bool take(SourceClock::time_point now);
    bool full(SourceClock::time_point now) const;

private:
    double available(SourceClock::time_point now) const;
    double burst_;
    double perSecond_;
    double tokens_;
    SourceClock::time_point last_;
};

struct SourceFigures {
    std::size_t maxConnections = 256;
    std::size_t joinBurst = 60;
    std::size_t joinsPerMinute = 60;
    bool limitLoopback = false;
};

class SourceLimits {
public:
    explicit SourceLimits(SourceFigures figures) : figures_(figures) {}

    // Counts a new connection from `source`; false (and nothing counted)
    // when the source already holds the most it may.
    bool admitConnection(const Source& source, SourceClock::time_point now);
    void releaseConnection(const Source& source);
    // Takes a join token of `source`; false when it has none left.
    bool admitJoin(const Source& source, SourceClock::time_point now);
    // Forgets sources that hold no connection and whose bucket has filled up
    // again: they are as if never seen.
    void prune(SourceClock::time_point now);

    std::size_t sourceCount() const { return sources_.size(); }
    const SourceFigures& figures() const { return figures_; }

private:
    struct Hash {
        std::size_t operator()(const Source& s) const noexcept;
    };
    struct State {
        std::size_t connections = 0;
        TokenBucket joins;
    };
    State& stateOf(const Source& source, SourceClock::time_point now);
    bool exempt(const Source& source) const;

    SourceFigures figures_;
    std::unordered_map<Source, State, Hash> sources_;
};

}  // namespace corvala::signal
