#pragma once
// The relay's allocations as plain state, with the clock passed in: who
// holds one, until when, which peers it may reach (permissions, by IP
// address) and through which channels, and how many bytes a second it may
// move. The sockets live elsewhere and follow this table's decisions.

#include "Credentials.h"
#include "RateBudget.h"
#include "StunMessage.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace corvala::relay {

struct AllocationLimits {
    std::size_t maxAllocations = 512;
    std::size_t perUser = 128;
    std::size_t permissionsPerAllocation = 64;
    std::size_t channelsPerAllocation = 64;
    std::chrono::seconds defaultLifetime{600};
    std::chrono::seconds maxLifetime{3600};
    std::chrono::seconds permissionLifetime{300};
    std::chrono::seconds channelLifetime{600};
    // Both directions together; a second's worth may come at once.
    double bytesPerSecond = 8.0 * 1024 * 1024;
};

enum class Transport : std::uint8_t { Udp, Tcp };

// An allocation belongs to one client transport address on one transport.
struct ClientKey {
    Transport transport = Transport::Udp;
    Endpoint client;
    bool operator==(const ClientKey&) const = default;
    bool operator<(const ClientKey& o) const {
        return transport != o.transport ? transport < o.transport : client < o.client;
    }
};

class Allocation {
public:
    Allocation(std::string user, std::uint16_t relayedPort, Clock::time_point expiry, double bytesPerSecond,
               Clock::time_point now);

    const std::string& user() const { return user_; }
    std::uint16_t relayedPort() const { return relayedPort_; }
    Clock::time_point expiry() const { return expiry_; }
    void setExpiry(Clock::time_point t) { expiry_ = t; }
    // The transaction that made it: a retransmitted Allocate gets the same answer.
    TransactionId createdBy{};

    // Installs or refreshes a permission; false when the cap is reached.
    bool permit(const asio::ip::address& peer, Clock::time_point until, std::size_t cap);
    bool permits(const asio::ip::address& peer, Clock::time_point now) const;

    enum class BindResult { Bound, ChannelTaken, PeerTaken, Full };
    BindResult bind(std::uint16_t channel, const Endpoint& peer, Clock::time_point until, std::size_t cap);
    // The peer bound to a live channel, or nothing.
    std::optional<Endpoint> peerOf(std::uint16_t channel, Clock::time_point now) const;
    // The live channel bound to a peer, or nothing.
    std::optional<std::uint16_t> channelOf(const Endpoint& peer, Clock::time_point now) const;

    // Takes `bytes` from the allocation's budget; false (nothing taken) when
    // it would go over the rate.
    bool spend(std::size_t bytes, Clock::time_point now);

    // Drops permissions and channels that ran out.
    void expire(Clock::time_point now);
    std::size_t permissionCount() const { return permissions_.size(); }
    std::size_t channelCount() const { return channels_.size(); }

private:
    struct Binding {
        Endpoint peer;
        Clock::time_point expiry;
    };
    std::string user_;
    std::uint16_t relayedPort_;
    Clock::time_point expiry_;
    std::map<asio::ip::address, Clock::time_point> permissions_;
    std::map<std::uint16_t, Binding> channels_;
    RateBudget bytes_;
};

class AllocationTable {
public:
    explicit AllocationTable(AllocationLimits limits) : limits_(limits) {}

    const AllocationLimits& limits() const { return limits_; }

    // The lifetime granted for a requested one (absent: the default).
    std::chrono::seconds lifetimeFor(std::optional<std::uint32_t> requestedSeconds) const;

    enum class Refusal { None, Exists, TotalQuota, UserQuota };
    // What stops `user` from getting a new allocation for `key`, if anything.
    Refusal check(const ClientKey& key, const std::string& user) const;
    // Adds one (check() must have said None).
    Allocation& add(const ClientKey& key, const std::string& user, std::uint16_t relayedPort,
                    std::chrono::seconds lifetime, Clock::time_point now);
    Allocation* find(const ClientKey& key);
    // The key of the allocation whose relayed port this is.
    const ClientKey* ownerOfPort(std::uint16_t relayedPort) const;
    void remove(const ClientKey& key);

    // Removes allocations past their lifetime (telling `removed` each key
    // first) and the stale permissions and channels of the others.
    void expire(Clock::time_point now, const std::function<void(const ClientKey&)>& removed);

    std::size_t size() const { return allocations_.size(); }
    std::size_t countOf(const std::string& user) const;

private:
    AllocationLimits limits_;
    std::map<ClientKey, std::unique_ptr<Allocation>> allocations_;
    std::map<std::uint16_t, ClientKey> byPort_;
};

}  // namespace corvala::relay
