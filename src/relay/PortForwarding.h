#pragma once
// The router's forwarding of the relay's outside port to the relay. Blocking
// calls (UPnP discovery and the router's answers take seconds): never call
// them on the GUI thread.

namespace corvala {

inline constexpr int RelayLocalPort = 3478;

class IPortForwarding {
public:
    virtual ~IPortForwarding() = default;
    // Makes sure the router forwards `relayPort` (TCP and UDP) to RelayLocalPort
    // on this host. When `relayPort` is 0 a port is chosen and written back
    // (a random one in 5500..5999 when no router answers). True when a mapping
    // is in place.
    virtual bool EnsurePortMapping(int& relayPort) = 0;
};

}  // namespace corvala
