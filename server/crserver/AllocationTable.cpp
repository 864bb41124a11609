#include "AllocationTable.h"

#include <algorithm>

namespace corvala::relay {

Allocation::Allocation(std::string user, std::uint16_t relayedPort, Clock::time_point expiry, double bytesPerSecond,
                       Clock::time_point now)
    : user_(std::move(user)), relayedPort_(relayedPort), expiry_(expiry), bytes_(bytesPerSecond, now) {}

bool Allocation::permit(const asio::ip::address& peer, Clock::time_point until, std::size_t cap) {
    const auto it = permissions_.find(peer);
    if (it != permissions_.end()) {
        it->second = until;
        return true;
    }
    if (permissions_.size() >= cap) return false;
    permissions_.emplace(peer, until);
    return true;
}

bool Allocation::permits(const asio::ip::address& peer, Clock::time_point now) const {
    const auto it = permissions_.find(peer);
    return it != permissions_.end() && it->second > now;
}

Allocation::BindResult Allocation::bind(std::uint16_t channel, const Endpoint& peer, Clock::time_point until,
                                        std::size_t cap) {
    const auto it = channels_.find(channel);
    if (it != channels_.end()) {
        if (it->second.peer != peer) return BindResult::ChannelTaken;
        it->second.expiry = until;
        return BindResult::Bound;
    }
    // A peer keeps its channel number for the binding's life (and the same
    // number cannot go to another peer until then).
    for (const auto& [number, binding] : channels_)
        if (binding.peer == peer) return BindResult::PeerTaken;
    if (channels_.size() >= cap) return BindResult::Full;
    channels_.emplace(channel, Binding{peer, until});
    return BindResult::Bound;
}

std::optional<Endpoint> Allocation::peerOf(std::uint16_t channel, Clock::time_point now) const {
    const auto it = channels_.find(channel);
    if (it == channels_.end() || it->second.expiry <= now) return std::nullopt;
    return it->second.peer;
}

std::optional<std::uint16_t> Allocation::channelOf(const Endpoint& peer, Clock::time_point now) const {
    for (const auto& [number, binding] : channels_)
        if (binding.peer == peer && binding.expiry > now) return number;
    return std::nullopt;
}

bool Allocation::spend(std::size_t bytes, Clock::time_point now) { return bytes_.spend(double(bytes), now); }

void Allocation::expire(Clock::time_point now) {
    std::erase_if(permissions_, [&](const auto& p) { return p.second <= now; });
    std::erase_if(channels_, [&](const auto& c) { return c.second.expiry <= now; });
}

std::chrono::seconds AllocationTable::lifetimeFor(std::optional<std::uint32_t> requestedSeconds) const {
    if (!requestedSeconds) return limits_.defaultLifetime;
    const std::chrono::seconds requested(*requestedSeconds);
    return std::clamp(requested, limits_.defaultLifetime, limits_.maxLifetime);
}

AllocationTable::Refusal AllocationTable::check(const ClientKey& key, const std::string& user) const {
    if (allocations_.contains(key)) return Refusal::Exists;
    if (allocations_.size() >= limits_.maxAllocations) return Refusal::TotalQuota;
    if (countOf(user) >= limits_.perUser) return Refusal::UserQuota;
    return Refusal::None;
}

Allocation& AllocationTable::add(const ClientKey& key, const std::string& user, std::uint16_t relayedPort,
                                 std::chrono::seconds lifetime, Clock::time_point now) {
    auto allocation = std::make_unique<Allocation>(user, relayedPort, now + lifetime, limits_.bytesPerSecond, now);
    Allocation& added = *allocation;
    allocations_[key] = std::move(allocation);
    byPort_[relayedPort] = key;
    return added;
}

Allocation* AllocationTable::find(const ClientKey& key) {
    const auto it = allocations_.find(key);
    return it == allocations_.end() ? nullptr : it->second.get();
}

const ClientKey* AllocationTable::ownerOfPort(std::uint16_t relayedPort) const {
    const auto it = byPort_.find(relayedPort);
    return it == byPort_.end() ? nullptr : &it->second;
}

void AllocationTable::remove(const ClientKey& key) {
    const auto it = allocations_.find(key);
    if (it == allocations_.end()) return;
    byPort_.erase(it->second->relayedPort());
    allocations_.erase(it);
}

void AllocationTable::expire(Clock::time_point now, const std::function<void(const ClientKey&)>& removed) {
    for (auto it = allocations_.begin(); it != allocations_.end();) {
        if (it->second->expiry() <= now) {
            removed(it->first);
            byPort_.erase(it->second->relayedPort());
            it = allocations_.erase(it);
        } else {
            it->second->expire(now);
            ++it;
        }
    }
}

std::size_t AllocationTable::countOf(const std::string& user) const {
    return std::size_t(std::count_if(allocations_.begin(), allocations_.end(),
                                     [&](const auto& a) { return a.second->user() == user; }));
}

}  // namespace corvala::relay
