#pragma once
// Port forwarding on a network without a router that answers: the relay's
// outside port is drawn at random from 5500..5999 (once; a stored one is
// kept) so that the user can forward it by hand, and no mapping is in place.

#include "relay/PortForwarding.h"

namespace corvala {

class NoRouterForwarding final : public IPortForwarding {
public:
    bool EnsurePortMapping(int& relayPort) override;
};

}  // namespace corvala
