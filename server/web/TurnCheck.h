#pragma once
// The reachability probe: one UDP datagram to the address and port a client
// names. Built so that the service cannot be turned into a flood source:
// IPv4 unicast targets only, by default only the caller's own address, and
// a token bucket per caller plus one for the whole service.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvala::web {

struct TurnCheckLimits {
    double perCallerPerMinute = 6;
    double callerBurst = 3;
    double totalPerSecond = 50;
    bool anyTarget = false;  // allow targets other than the caller's address
};

// Strict dotted-quad IPv4 unicast address, or nothing.
std::optional<std::uint32_t> ParseIPv4Unicast(std::string_view text);
// Strict decimal port 1..65535, or nothing.
std::optional<std::uint16_t> ParsePort(std::string_view text);

class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;
    RateLimiter(double perSecond, double burst) : rate_(perSecond), burst_(burst) {}
    bool allow(const std::string& key, Clock::time_point now = Clock::now());

private:
    struct Bucket {
        double tokens;
        Clock::time_point at;
    };
    double rate_;
    double burst_;
    std::unordered_map<std::string, Bucket> buckets_;
};

class TurnCheck {
public:
    enum class Outcome { Sent, BadRequest, Forbidden, TooManyRequests, SendFailed };

    explicit TurnCheck(TurnCheckLimits limits);
    Outcome probe(const std::string& caller, std::string_view targetIp, std::string_view targetPort);

    // What the datagram holds: plain text that no TURN server can parse,
    // which is exactly what makes the probe show up in the relay's output.
    static constexpr std::string_view kDatagram = "corvala turn-check\n";

private:
    TurnCheckLimits limits_;
    std::mutex mutex_;
    RateLimiter perCaller_;
    RateLimiter total_;
};

}  // namespace corvala::web
