#include "TurnCheck.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>

namespace corvala::web {

std::optional<std::uint32_t> ParseIPv4Unicast(std::string_view text) {
    if (text.empty() || text.size() > 15) return std::nullopt;
    in_addr a{};
    if (inet_pton(AF_INET, std::string(text).c_str(), &a) != 1) return std::nullopt;
    const std::uint32_t host = ntohl(a.s_addr);
    const std::uint8_t first = host >> 24;
    // "this network", multicast, reserved and limited broadcast are no relays.
    if (first == 0 || first >= 224) return std::nullopt;
    return host;
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

bool RateLimiter::allow(const std::string& key, Clock::time_point now) {
    // Forget callers whose bucket has filled up again, so the table stays small.
    if (buckets_.size() > 4096) {
        std::erase_if(buckets_, [&](const auto& entry) {
            return entry.second.tokens + rate_ * std::chrono::duration<double>(now - entry.second.at).count() >= burst_;
        });
    }
    auto [it, fresh] = buckets_.try_emplace(key, Bucket{burst_, now});
    Bucket& b = it->second;
    if (!fresh) {
        b.tokens = std::min(burst_, b.tokens + rate_ * std::chrono::duration<double>(now - b.at).count());
        b.at = now;
    }
    if (b.tokens < 1) return false;
    b.tokens -= 1;
    return true;
}

TurnCheck::TurnCheck(TurnCheckLimits limits)
    : limits_(limits), perCaller_(limits.perCallerPerMinute / 60.0, limits.callerBurst),
      total_(limits.totalPerSecond, limits.totalPerSecond) {}

TurnCheck::Outcome TurnCheck::probe(const std::string& caller, std::string_view targetIp, std::string_view targetPort) {
    const auto address = ParseIPv4Unicast(targetIp);
    const auto port = ParsePort(targetPort);
    if (!address || !port) return Outcome::BadRequest;
    if (!limits_.anyTarget && ParseIPv4Unicast(caller) != address) return Outcome::Forbidden;
    {
        std::lock_guard lock(mutex_);
        if (!perCaller_.allow(caller) || !total_.allow("")) return Outcome::TooManyRequests;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Outcome::SendFailed;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(*port);
    to.sin_addr.s_addr = htonl(*address);
    const auto sent = sendto(fd, kDatagram.data(), kDatagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(fd);
    return sent == static_cast<ssize_t>(kDatagram.size()) ? Outcome::Sent : Outcome::SendFailed;
}

}  // namespace corvala::web
