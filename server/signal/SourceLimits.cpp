#include "SourceLimits.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace corvala::signal {

Source SourceOf(const asio::ip::address& address) {
    if (address.is_v4()) return asio::ip::make_address_v6(asio::ip::v4_mapped, address.to_v4()).to_bytes();
    const asio::ip::address_v6 v6 = address.to_v6();
    Source s = v6.to_bytes();
    if (!v6.is_v4_mapped() && !v6.is_loopback()) std::fill(s.begin() + 8, s.end(), 0);
    return s;
}

std::string SourceText(const Source& source) {
    const asio::ip::address_v6 v6(source);
    if (v6.is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string();
    return v6.is_loopback() ? v6.to_string() : v6.to_string() + "/64";
}

bool IsLoopback(const Source& source) {
    const asio::ip::address_v6 v6(source);
    return v6.is_loopback() || (v6.is_v4_mapped() && source[12] == 127);
}

TokenBucket::TokenBucket(std::size_t burst, std::size_t perMinute, SourceClock::time_point now)
    : burst_(static_cast<double>(burst)), perSecond_(static_cast<double>(perMinute) / 60.0), tokens_(burst_),
      last_(now) {}

double TokenBucket::available(SourceClock::time_point now) const {
    if (now <= last_) return tokens_;
    return std::min(burst_, tokens_ + perSecond_ * std::chrono::duration<double>(now - last_).count());
}

bool TokenBucket::take(SourceClock::time_point now) {
    const double tokens = available(now);
    if (tokens < 1.0) return false;
    tokens_ = tokens - 1.0;
    last_ = std::max(last_, now);
    return true;
}

bool TokenBucket::full(SourceClock::time_point now) const { return available(now) >= burst_; }

std::size_t SourceLimits::Hash::operator()(const Source& s) const noexcept {
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(s.data()), s.size()));
}

SourceLimits::State& SourceLimits::stateOf(const Source& source, SourceClock::time_point now) {
    auto it = sources_.find(source);
    if (it == sources_.end())
        it = sources_.emplace(source, State{0, TokenBucket(figures_.joinBurst, figures_.joinsPerMinute, now)}).first;
    return it->second;
}

bool SourceLimits::exempt(const Source& source) const { return !figures_.limitLoopback && IsLoopback(source); }

bool SourceLimits::admitConnection(const Source& source, SourceClock::time_point now) {
    if (exempt(source)) return true;
    State& state = stateOf(source, now);
    if (state.connections >= figures_.maxConnections) return false;
    ++state.connections;
    return true;
}

void SourceLimits::releaseConnection(const Source& source) {
    if (exempt(source)) return;
    const auto it = sources_.find(source);
    if (it != sources_.end() && it->second.connections > 0) --it->second.connections;
}

bool SourceLimits::admitJoin(const Source& source, SourceClock::time_point now) {
    if (exempt(source)) return true;
    return stateOf(source, now).joins.take(now);
}

void SourceLimits::prune(SourceClock::time_point now) {
    std::erase_if(sources_, [now](auto& entry) { return entry.second.connections == 0 && entry.second.joins.full(now); });
}

}  // namespace corvala::signal
