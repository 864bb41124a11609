#pragma once
// Port forwarding through the router's UPnP service (miniupnpc). Each call
// discovers the router anew, so a router switched on or replaced since the
// last call is found, and the LAN address is the current one.

#include "relay/PortForwarding.h"

#include <chrono>

namespace corvala {

class UpnpPortForwarding : public IPortForwarding {
public:
    explicit UpnpPortForwarding(std::chrono::milliseconds discoveryTimeout = std::chrono::milliseconds(2000));
    bool EnsurePortMapping(int& relayPort) override;

private:
    std::chrono::milliseconds FDiscoveryTimeout;
};

}  // namespace corvala
