#pragma once
// The router's forwarding of the relay's outside port to the relay, and the
// host firewall's rules for our programs. Blocking calls (UPnP discovery and
// the router's answers take seconds): never call them on the GUI thread.

#include <QString>

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

class IFirewallRules {
public:
    virtual ~IFirewallRules() = default;
    // Lets the program at `applicationPath` through the active host firewall;
    // nothing when none is active. Errors are logged, never shown.
    virtual void AddFirewallRules(const QString& name, const QString& applicationPath) = 0;
};

}  // namespace corvala
