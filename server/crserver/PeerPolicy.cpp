#include "PeerPolicy.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>

namespace corvala::relay {
namespace {

// IPv4-mapped IPv6 addresses are judged as the IPv4 address they carry.
asio::ip::address plain(const asio::ip::address& a) {
    if (a.is_v6() && a.to_v6().is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
    return a;
}

}  // namespace

PeerPolicy::PeerPolicy(std::vector<asio::ip::address> ownAddresses) {
    for (const auto& a : ownAddresses) own_.push_back(plain(a));
}

std::vector<asio::ip::address> PeerPolicy::InterfaceAddresses() {
    std::vector<asio::ip::address> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return addresses;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr) continue;
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            addresses.push_back(asio::ip::address_v4(ntohl(in->sin_addr.s_addr)));
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* in = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            asio::ip::address_v6::bytes_type raw;
            std::copy_n(in->sin6_addr.s6_addr, 16, raw.begin());
            addresses.push_back(asio::ip::address_v6(raw));
        }
    }
    freeifaddrs(list);
    return addresses;
}

PeerPolicy::Verdict PeerPolicy::check(const asio::ip::address& peer) const {
    const asio::ip::address a = plain(peer);
    // Relayed addresses are IPv4 only.
    if (!a.is_v4()) return Verdict::OtherFamily;
    const auto v4 = a.to_v4();
    if (v4.is_loopback()) return Verdict::Loopback;
    if (v4.is_unspecified() || (v4.to_uint() >> 24) == 0) return Verdict::Unspecified;
    if (v4.is_multicast() || v4 == asio::ip::address_v4::broadcast() || (v4.to_uint() >> 28) == 0xF)
        return Verdict::Multicast;
    if (std::find(own_.begin(), own_.end(), a) != own_.end()) return Verdict::Own;
    return Verdict::Allowed;
}

const char* VerdictText(PeerPolicy::Verdict verdict) {
    switch (verdict) {
    case PeerPolicy::Verdict::Allowed: return "allowed";
    case PeerPolicy::Verdict::Loopback: return "a loopback address";
    case PeerPolicy::Verdict::Unspecified: return "an unspecified address";
    case PeerPolicy::Verdict::Multicast: return "a multicast or broadcast address";
    case PeerPolicy::Verdict::Own: return "the relay's own address";
    case PeerPolicy::Verdict::OtherFamily: return "not IPv4";
    }
    return "?";
}

}  // namespace corvala::relay
