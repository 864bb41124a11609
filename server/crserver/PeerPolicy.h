#pragma once
// Which peer addresses the relay may send to. Never loopback, unspecified,
// multicast or broadcast addresses, and never the relay's own addresses
// (its public address and those of this machine's interfaces): a relay that
// forwarded there would let any client reach services that listen only on
// this machine. Two clients of this relay still reach each other, because
// their relayed addresses are the relay's own: the server delivers between
// its allocations itself (see TurnServer), which this policy reports as Own.

#include <asio/ip/address.hpp>

#include <vector>

namespace corvala::relay {

class PeerPolicy {
public:
    enum class Verdict { Allowed, Loopback, Unspecified, Multicast, Own, OtherFamily };

    explicit PeerPolicy(std::vector<asio::ip::address> ownAddresses);
    // The addresses of this machine's interfaces.
    static std::vector<asio::ip::address> InterfaceAddresses();

    Verdict check(const asio::ip::address& peer) const;

private:
    std::vector<asio::ip::address> own_;
};

const char* VerdictText(PeerPolicy::Verdict verdict);

}  // namespace corvala::relay
